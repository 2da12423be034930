# Sources of the dialogs and wizards, part of zelpress_core (included from the root CMakeLists.txt).
zelpress_core_sources(
    AdvancedDlg.cpp
    AdvancedDlg.h
    AutorunWizard.cpp
    AutorunWizard.h
    AutorunWizardConfigureThresholdPage.cpp
    AutorunWizardConfigureThresholdPage.h
    AutorunWizardZeroPage.cpp
    AutorunWizardZeroPage.h
    DialogBootload.cpp
    DialogBootload.h
    ProgressDialog.cpp
    ProgressDialog.h
    ToleranceLimitsDlg.cpp
    ToleranceLimitsDlg.h
    TraceSetupDlg.cpp
    TraceSetupDlg.h)
