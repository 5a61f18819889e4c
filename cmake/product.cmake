# The product's names and limits, written once. CMake generates from them a C header,
# an NSIS include, a WiX include and a shell file (cmake/product.*.in), so the agent,
# q5check, the setups and the scripts can never disagree. Change a name here and nowhere else.
set(PRODUCT_NAME "VELTRIX Q5")
set(PRODUCT_PUBLISHER "VELTRIX")
# The programs' manifests name their assemblies "<this>.Agent", "<this>.Check", ...
set(PRODUCT_ASSEMBLY_NAME "Veltrix.Q5")
set(PRODUCT_EXE "${PRODUCT_NAME}.exe")
# The release files' names: "<stem>-Setup-<version>.exe", "<stem>-<version>-x64.msi", ...
set(PRODUCT_FILE_STEM "VELTRIX-Q5")
# Hidden main window's class and title; a start that finds it is a second instance.
set(PRODUCT_WINDOW_CLASS "Zozizeri DA")
# Per-user choices under HKEY_CURRENT_USER; the machine's defaults under HKEY_LOCAL_MACHINE.
set(PRODUCT_VENDOR_KEY "Software\\${PRODUCT_PUBLISHER}")
set(PRODUCT_AGENT_KEY "${PRODUCT_VENDOR_KEY}\\DIDIZOVOV")
set(PRODUCT_STARTWIN_VALUE "startwin")
set(PRODUCT_LANG_VALUE "lang")
set(PRODUCT_DEFAULT_LANG "de")
set(PRODUCT_RUN_KEY "Software\\Microsoft\\Windows\\CurrentVersion\\Run")
set(PRODUCT_RUN_VALUE "Skyvela")
# The first title of the texts ("Title" t1), built in for a language file without it.
set(PRODUCT_TITLE_TEXT "Skyvela")
# One agent per session.
set(PRODUCT_INSTANCE_MUTEX "Local\\${PRODUCT_NAME} agent")
# Set by an agent whose windows are gone while it still holds the session's one place
# (its last pause before the library is closed): a new start waits for it instead of
# calling it running.
set(PRODUCT_ENDING_EVENT "Local\\${PRODUCT_NAME} agent ending")
# One setup or uninstall of the product at a time in a session.
set(PRODUCT_SETUP_MUTEX "Local\\${PRODUCT_NAME} setup")
# Folder limit: the agent builds every path in 260 bytes, and a language code has at
# most 9 characters ("<folder>\lang\ZeroVez_<code>.ini").
set(PRODUCT_PATH_SIZE 260)
set(PRODUCT_LANG_CODE_SIZE 10)
# Language files: "<folder>\lang\<prefix><code>.ini"; the characters of such a path
# besides the folder and the code, worked out here for the setups' folder limit.
set(PRODUCT_LANG_FILE_PREFIX "ZeroVez_")
string(LENGTH "\\lang\\${PRODUCT_LANG_FILE_PREFIX}.ini" PRODUCT_LANG_FILE_EXTRA)
# The stand-in library's journal of calls, written beside it: the product's own file in
# the program folder, which uninstall removes with the rest.
set(PRODUCT_SIM_JOURNAL "wusb_journal.log")
# The device driver's file under System32\drivers, whose version About shows.
set(PRODUCT_DRIVER_FILE "veltrix_q5.sys")
# The tray menu's Exit command: setups end a running agent by posting it.
set(PRODUCT_EXIT_COMMAND 40003)
# Every running agent of the computer holds one of these named objects (slot 0, 1, ...),
# so that an agent ending in one session can tell whether another session's agent still
# uses the device. Windows removes a name when the last process holding it ends.
set(PRODUCT_AGENT_SLOT_PREFIX "Global\\${PRODUCT_NAME} agent slot ")
set(PRODUCT_AGENT_SLOTS 256)
# Setups wait this long for an agent to end before they give up and change nothing.
set(PRODUCT_AGENT_EXIT_TIMEOUT_MS 15000)
# Run by Active Setup at each user's logon after a per-machine install ("<agent>.exe /logon"):
# prepares that user's autostart and ends at once, without starting the agent.
set(PRODUCT_LOGON_SWITCH "/logon")
# The per-machine package (MSI). Written once: never change them, or upgrades stop finding
# earlier installations and users' logon step runs under a second name.
set(PRODUCT_UPGRADE_CODE "DC5694DA-3DEA-40EC-AFE5-5E4E789E98E8")
set(PRODUCT_ACTIVE_SETUP_ID "{6795E697-AFFD-40F0-9F7C-AD29FE7A5E7D}")
# Sharing one device among several computers: Setting.ini's [share] section, its keys, and
# the user's own "autoconnect" (REG_DWORD under the agent key) that wins over the file's.
set(PRODUCT_SHARE_SECTION "share")
set(PRODUCT_AUTOCONNECT_VALUE "autoconnect")
set(PRODUCT_RELEASE_AFTER_VALUE "release_after")
set(PRODUCT_RELEASE_ON_LOCK_VALUE "release_on_lock")
set(PRODUCT_NOTICES_VALUE "notices")
# release_after is in minutes, a day at most; 0 is never.
set(PRODUCT_RELEASE_AFTER_MAX 1440)
# Group Policy: computer policies under HKEY_LOCAL_MACHINE, user policies under
# HKEY_CURRENT_USER, the same path in both; a policy wins over every other source.
set(PRODUCT_POLICY_KEY "Software\\Policies\\${PRODUCT_PUBLISHER}\\DIDIZOVOV")
# Several computers sharing one box, played on one machine: each process of the stand-in
# library takes its computer name from this variable when it is set, over the world
# file's [library] computer_name (which every process of the machine shares).
set(PRODUCT_SIM_COMPUTER_NAME_ENV "WUSB_SIM_COMPUTER_NAME")
# Group Policy values under PRODUCT_POLICY_KEY (the other policies take the names of the
# agent's own values: startwin, lang and the [share] keys). The device list is one REG_SZ
# of device types separated by ';', as the template's text box writes it.
set(PRODUCT_POLICY_DEVICES_VALUE "devices")
set(PRODUCT_POLICY_SERVER_VALUE "server")
set(PRODUCT_POLICY_BITRATE_VALUE "bitrate")
set(PRODUCT_POLICY_DEVICES_SEPARATOR ";")
# Longest device list a policy may hold, in characters; longer is ignored.
set(PRODUCT_POLICY_TEXT_MAX 1023)
# Highest bandwidth threshold a policy may set; 0 tests nothing.
set(PRODUCT_POLICY_BITRATE_MAX 1000000000)
# The administrative template's file name and namespace (never change the namespace: the
# policies an administrator set would no longer be found in the editor).
set(PRODUCT_POLICY_FILE "${PRODUCT_FILE_STEM}")
set(PRODUCT_POLICY_PREFIX "veltrixq5")
set(PRODUCT_POLICY_NAMESPACE "VELTRIX.Policies.VeltrixQ5")
# Longest server address and device type the agent keeps, terminator included.
set(PRODUCT_SERVER_ADDRESS_SIZE 64)
set(PRODUCT_DEVICE_TYPE_SIZE 50)
# ---- Installs by the system account and upgrades that keep the agent ----------------
# The MSI records its folder here (a REG_SZ under the agent key in HKEY_LOCAL_MACHINE,
# with a trailing backslash); the next version finds it again and installs there.
set(PRODUCT_INSTALL_FOLDER_VALUE "installdir")
# Test-only MSI property: set to 1, the last custom action of an installation fails
# after everything else is done, so tests can see what a failed upgrade leaves. No
# production path sets it.
set(PRODUCT_MSI_FAIL_LATE_PROPERTY "Q5TESTFAILLATE")
# The per-user setup's row in Apps & features, told apart from the MSI's (PRODUCT_NAME)
# when both packages are installed.
set(PRODUCT_PER_USER_DISPLAY_NAME "${PRODUCT_NAME} (this user)")
# q5ctl.exe: the command line that drives this session's running agent from scripts and
# shortcuts; beside the agent in both packages, not on the Start menu.
set(PRODUCT_CTL_EXE "q5ctl.exe")
# q5check.exe: the diagnostics command beside the agent.
set(PRODUCT_CHECK_EXE "q5check.exe")
# Class of q5ctl's hidden window that takes the agent's answers; the agent answers no other.
set(PRODUCT_CTL_REPLY_CLASS "${PRODUCT_NAME} control reply")
# Longest --wait q5ctl accepts, in seconds (a day).
set(PRODUCT_CTL_MAX_WAIT 86400)
# The uninstaller's judge of the user's Run value, built on the agent's own rule
# (packaging/run_check.cpp): carried inside the uninstaller, never installed. Its exit
# codes: the command starts the agent of the folder, it does not, bad arguments.
set(PRODUCT_RUN_CHECK_EXE "runcheck.exe")
set(PRODUCT_RUN_CHECK_STARTS 1)
set(PRODUCT_RUN_CHECK_OTHER 0)
set(PRODUCT_RUN_CHECK_USAGE 2)
