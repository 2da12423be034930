# Files compiled into zelpress_core, so the application and the tests both see them.
qt_add_resources(zelpress_core "zelpress_emulation"
    PREFIX "/ZelPress"
    BASE "${CMAKE_CURRENT_LIST_DIR}"
    FILES
        ${CMAKE_CURRENT_LIST_DIR}/go_emulation.txt
        ${CMAKE_CURRENT_LIST_DIR}/idle_emulation.txt)

# The legend's icons, drawn by scripts/make_legend_icons.sh.
qt_add_resources(zelpress_core "zelpress_icons"
    PREFIX "/icons"
    BASE "${CMAKE_CURRENT_LIST_DIR}/icons"
    FILES
        ${CMAKE_CURRENT_LIST_DIR}/icons/close.png
        ${CMAKE_CURRENT_LIST_DIR}/icons/invisible.png
        ${CMAKE_CURRENT_LIST_DIR}/icons/visible.png)

# The firmware image ":/update.bin", generated at build time by make_firmware_image (a deterministic
# stand-in for the press's firmware, see docs/architecture.md) and embedded uncompressed.
add_executable(make_firmware_image ${CMAKE_CURRENT_LIST_DIR}/make_firmware_image.cpp)
target_compile_options(make_firmware_image PRIVATE -Wall -Wextra -Wpedantic)
set_target_properties(make_firmware_image PROPERTIES AUTOMOC OFF)
set(zelpress_firmware_image ${CMAKE_CURRENT_BINARY_DIR}/firmware/update.bin)
add_custom_command(OUTPUT ${zelpress_firmware_image}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_CURRENT_BINARY_DIR}/firmware
    COMMAND make_firmware_image ${zelpress_firmware_image}
    DEPENDS make_firmware_image
    COMMENT "Generating the firmware image update.bin"
    VERBATIM)
qt_add_resources(zelpress_core "zelpress_firmware"
    PREFIX "/"
    BASE "${CMAKE_CURRENT_BINARY_DIR}/firmware"
    OPTIONS --no-compress
    FILES ${zelpress_firmware_image})
