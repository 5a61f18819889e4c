# The product's names and limits, written once. CMake generates from them a C header,
# an NSIS include and a shell file (cmake/product.*.in), so the agent, q5check, the
# setups and the scripts can never disagree. Change a name here and nowhere else.
set(PRODUCT_NAME "VELTRIX Q5")
set(PRODUCT_PUBLISHER "VELTRIX")
set(PRODUCT_EXE "VELTRIX Q5.exe")
# Hidden main window's class and title; a start that finds it is a second instance.
set(PRODUCT_WINDOW_CLASS "Zozizeri DA")
# Per-user choices under HKEY_CURRENT_USER; the machine's defaults under HKEY_LOCAL_MACHINE.
set(PRODUCT_VENDOR_KEY "Software\\VELTRIX")
set(PRODUCT_AGENT_KEY "Software\\VELTRIX\\DIDIZOVOV")
set(PRODUCT_STARTWIN_VALUE "startwin")
set(PRODUCT_LANG_VALUE "lang")
set(PRODUCT_DEFAULT_LANG "de")
set(PRODUCT_RUN_KEY "Software\\Microsoft\\Windows\\CurrentVersion\\Run")
set(PRODUCT_RUN_VALUE "Skyvela")
# One agent per session; and every agent of the computer shows itself to the others.
set(PRODUCT_INSTANCE_MUTEX "Local\\VELTRIX Q5 agent")
set(PRODUCT_SESSION_MUTEX_PREFIX "Global\\VELTRIX Q5 agent in session ")
# One setup or uninstall of the product at a time in a session.
set(PRODUCT_SETUP_MUTEX "Local\\VELTRIX Q5 setup")
# Folder limit: the agent builds every path in 260 bytes, and a language code has at
# most 9 characters ("<folder>\lang\ZeroVez_<code>.ini").
set(PRODUCT_PATH_SIZE 260)
set(PRODUCT_LANG_CODE_SIZE 10)
# The stand-in library's journal of calls, written beside it: the product's own file in
# the program folder, which uninstall removes with the rest.
set(PRODUCT_SIM_JOURNAL "wusb_journal.log")
# The tray menu's Exit command: setups end a running agent by posting it.
set(PRODUCT_EXIT_COMMAND 40003)
