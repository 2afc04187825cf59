# Where `cmake --install` puts the program and its desktop integration: the binary in
# bin/, and the desktop entry, the scalable icon and the AppStream metainfo in the places
# desktop environments and software centres look for them (freedesktop.org layout).
# Included once, after the window's executable target exists.

set(HALVORA_APP_ID org.halvora.Halvora)
set(HALVORA_DATA_DIR ${PROJECT_SOURCE_DIR}/data)

if(TARGET halvora)
  install(TARGETS halvora RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()

install(FILES ${HALVORA_DATA_DIR}/${HALVORA_APP_ID}.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${HALVORA_DATA_DIR}/${HALVORA_APP_ID}.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES ${HALVORA_DATA_DIR}/${HALVORA_APP_ID}.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
