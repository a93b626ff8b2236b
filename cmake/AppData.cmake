# The installation folder: the program files (component "program", installed
# on every run) and the installation data (component "data", seeded only into
# a new folder so that a user's files are never overwritten).

set(TENVAREL_APPDATA_OUT ${CMAKE_BINARY_DIR}/appdata)

# The engine files are scrambled at build time from their readable sources.
foreach(pair "engines.txt;data.czc" "custom-engines.txt;datac.czc")
  list(GET pair 0 src)
  list(GET pair 1 dst)
  add_custom_command(
    OUTPUT ${TENVAREL_APPDATA_OUT}/data/${dst}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${TENVAREL_APPDATA_OUT}/data
    COMMAND scramble ${CMAKE_SOURCE_DIR}/appdata/${src} ${TENVAREL_APPDATA_OUT}/data/${dst}
    DEPENDS scramble ${CMAKE_SOURCE_DIR}/appdata/${src}
    COMMENT "Scrambling ${src} into data/${dst}")
  list(APPEND _engine_files ${TENVAREL_APPDATA_OUT}/data/${dst})
endforeach()
add_custom_target(appdata ALL DEPENDS ${_engine_files})

install(TARGETS Tenvarel updater RUNTIME DESTINATION . COMPONENT program)
install(TARGETS unrar LIBRARY DESTINATION . COMPONENT program)

install(FILES ${CMAKE_SOURCE_DIR}/appdata/wkt.ini DESTINATION . COMPONENT data)
file(GLOB _optional_data CONFIGURE_DEPENDS
  ${CMAKE_SOURCE_DIR}/appdata/logo.jpg ${CMAKE_SOURCE_DIR}/appdata/Vov-EZ.skn)
if(_optional_data)
  install(FILES ${_optional_data} DESTINATION . COMPONENT data)
endif()
install(FILES ${_engine_files}
              ${CMAKE_SOURCE_DIR}/appdata/data/datam.czc
              ${CMAKE_SOURCE_DIR}/appdata/data/catagory.zro
        DESTINATION data COMPONENT data)
install(FILES ${CMAKE_SOURCE_DIR}/appdata/data/session/session.zro DESTINATION data/session COMPONENT data)
install(DIRECTORY DESTINATION reports COMPONENT data)
install(DIRECTORY DESTINATION doorways COMPONENT data)
