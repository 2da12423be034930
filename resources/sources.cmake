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
