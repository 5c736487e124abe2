# Runs at install time: the texts that name installed paths get the prefix the files
# are installed under, then go to their places. The autostart entry goes where the
# desktops look for it: /etc/xdg for a /usr installation, else under the prefix.
set(MELODOCK_PREFIX "${CMAKE_INSTALL_PREFIX}")
foreach(text org.melodock.Melodock.desktop autostart.desktop melodock.1
             org.melodock.Melodock.metainfo.xml)
  configure_file(${MELODOCK_STAGED}/${text}.in ${MELODOCK_STAGED}/${text} @ONLY)
endforeach()
execute_process(COMMAND ${MELODOCK_GZIP} -9nkf ${MELODOCK_STAGED}/melodock.1
                COMMAND_ERROR_IS_FATAL ANY)

if(CMAKE_INSTALL_PREFIX STREQUAL "/usr")
  set(sysconf /etc)
else()
  set(sysconf ${CMAKE_INSTALL_PREFIX}/etc)
endif()

file(INSTALL DESTINATION ${CMAKE_INSTALL_PREFIX}/share/applications TYPE FILE
     FILES ${MELODOCK_STAGED}/org.melodock.Melodock.desktop)
file(INSTALL DESTINATION ${CMAKE_INSTALL_PREFIX}/share/metainfo TYPE FILE
     FILES ${MELODOCK_STAGED}/org.melodock.Melodock.metainfo.xml)
file(INSTALL DESTINATION ${CMAKE_INSTALL_PREFIX}/share/man/man1 TYPE FILE
     FILES ${MELODOCK_STAGED}/melodock.1.gz)
# The same name as the launcher's entry, so that a user's copy in ~/.config/autostart
# (the desktop's startup settings) overrides it.
file(INSTALL DESTINATION ${sysconf}/xdg/autostart TYPE FILE
     RENAME org.melodock.Melodock.desktop FILES ${MELODOCK_STAGED}/autostart.desktop)
