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
# One agent per session.
set(PRODUCT_INSTANCE_MUTEX "Local\\VELTRIX Q5 agent")
# Folder limit: the agent builds every path in 260 bytes, and a language code has at
# most 9 characters ("<folder>\lang\ZeroVez_<code>.ini").
set(PRODUCT_PATH_SIZE 260)
set(PRODUCT_LANG_CODE_SIZE 10)
# The tray menu's Exit command: setups end a running agent by posting it.
set(PRODUCT_EXIT_COMMAND 40003)
# Every running agent of the computer holds one of these named objects (slot 0, 1, ...),
# so that an agent ending in one session can tell whether another session's agent still
# uses the device. Windows removes a name when the last process holding it ends.
set(PRODUCT_AGENT_SLOT_PREFIX "Global\\VELTRIX Q5 agent slot ")
set(PRODUCT_AGENT_SLOTS 256)
