# The Windows installer: `cpack -G NSIS` in a Windows build (see
# .github/workflows/windows.yml). It installs for the current user only (no
# administrator rights, under %LOCALAPPDATA%\Programs\VARNOLT), adds VARNOLT to
# the Start menu and to "Open with" of settings files (.dat) without making it
# their default program, since reports are .dat files too, and has an
# uninstaller that removes all of it.

# The DLLs the programs load, installed beside them: oneTBB and the compiler's
# runtime read off the programs; Qt's with its plugins through Qt's deployment.
get_filename_component(compiler_folder ${CMAKE_CXX_COMPILER} DIRECTORY)
set(dll_folders \"${compiler_folder}\")
foreach(prefix IN LISTS CMAKE_PREFIX_PATH)
  string(APPEND dll_folders " \"${prefix}/bin\"")
endforeach()
install(CODE "
  file(GET_RUNTIME_DEPENDENCIES
    EXECUTABLES \$<TARGET_FILE:varnolt-cli>
    RESOLVED_DEPENDENCIES_VAR found
    UNRESOLVED_DEPENDENCIES_VAR missing
    DIRECTORIES ${dll_folders}
    PRE_EXCLUDE_REGEXES \"^api-ms-\" \"^ext-ms-\"
    POST_EXCLUDE_REGEXES \".*[Ss]ystem32.*\")
  file(INSTALL \${found} DESTINATION \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}\")
")
if(VARNOLT_BUILD_GUI)
  # Qt 6.4 (Debian's, which the Windows check builds for Windows) names the
  # script's variable otherwise and always deploys the translations.
  if(Qt6_VERSION VERSION_LESS 6.5)
    qt_generate_deploy_app_script(TARGET varnolt FILENAME_VARIABLE varnolt_deploy NO_UNSUPPORTED_PLATFORM_ERROR)
  else()
    qt_generate_deploy_app_script(TARGET varnolt OUTPUT_SCRIPT varnolt_deploy NO_TRANSLATIONS
                                  NO_UNSUPPORTED_PLATFORM_ERROR)
  endif()
  install(SCRIPT ${varnolt_deploy})
endif()

set(CPACK_GENERATOR NSIS)
set(CPACK_PACKAGE_INSTALL_DIRECTORY "VARNOLT")
set(CPACK_NSIS_PACKAGE_NAME "VARNOLT ${PROJECT_VERSION}")
set(CPACK_NSIS_DISPLAY_NAME "VARNOLT")
set(CPACK_PACKAGE_FILE_NAME "VARNOLT-${PROJECT_VERSION}-setup")
set(CPACK_NSIS_INSTALL_ROOT "$LOCALAPPDATA\\\\Programs")
# The last execution level named wins over the template's "admin".
set(CPACK_NSIS_DEFINES "RequestExecutionLevel user")
set(CPACK_NSIS_ENABLE_UNINSTALL_BEFORE_INSTALL ON)
set(CPACK_NSIS_URL_INFO_ABOUT "${VARNOLT_HOMEPAGE}")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_PACKAGE_EXECUTABLES varnolt "VARNOLT")
set(CPACK_NSIS_INSTALLED_ICON_NAME "${CMAKE_INSTALL_BINDIR}\\\\varnolt.exe")
if(TARGET varnolt_icons)
  set(CPACK_NSIS_MUI_ICON ${VARNOLT_WINDOWS_ICON})
  set(CPACK_NSIS_MUI_UNIICON ${VARNOLT_WINDOWS_ICON})
endif()

# "Open with" for settings files: the program registered under Applications,
# and offered for .dat beside whatever program opens them by default.
set(varnolt_exe "$INSTDIR\\\\${CMAKE_INSTALL_BINDIR}\\\\varnolt.exe")
set(CPACK_NSIS_EXTRA_INSTALL_COMMANDS "
  WriteRegStr HKCU 'Software\\\\Classes\\\\Applications\\\\varnolt.exe' 'FriendlyAppName' 'VARNOLT'
  WriteRegStr HKCU 'Software\\\\Classes\\\\Applications\\\\varnolt.exe\\\\SupportedTypes' '.dat' ''
  WriteRegStr HKCU 'Software\\\\Classes\\\\Applications\\\\varnolt.exe\\\\shell\\\\open\\\\command' '' '\"${varnolt_exe}\" \"%1\"'
  WriteRegStr HKCU 'Software\\\\Classes\\\\VARNOLT.Settings' '' 'VARNOLT settings'
  WriteRegStr HKCU 'Software\\\\Classes\\\\VARNOLT.Settings\\\\DefaultIcon' '' '${varnolt_exe},0'
  WriteRegStr HKCU 'Software\\\\Classes\\\\VARNOLT.Settings\\\\shell\\\\open\\\\command' '' '\"${varnolt_exe}\" \"%1\"'
  WriteRegStr HKCU 'Software\\\\Classes\\\\.dat\\\\OpenWithProgids' 'VARNOLT.Settings' ''
  System::Call 'shell32::SHChangeNotify(i 0x08000000, i 0, p 0, p 0)'
")
set(CPACK_NSIS_EXTRA_UNINSTALL_COMMANDS "
  DeleteRegKey HKCU 'Software\\\\Classes\\\\Applications\\\\varnolt.exe'
  DeleteRegKey HKCU 'Software\\\\Classes\\\\VARNOLT.Settings'
  DeleteRegValue HKCU 'Software\\\\Classes\\\\.dat\\\\OpenWithProgids' 'VARNOLT.Settings'
  System::Call 'shell32::SHChangeNotify(i 0x08000000, i 0, p 0, p 0)'
")
