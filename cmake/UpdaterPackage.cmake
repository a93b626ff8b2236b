# The updater program carried inside Tenvarel: a copy of the built updater
# without its debugging sections is assembled into an object library, which
# registers it as the package "updater" when the program starts.

set(_updater_image ${CMAKE_BINARY_DIR}/updater-package/updater)
if(CMAKE_OBJCOPY)
  set(_copy_updater ${CMAKE_OBJCOPY} --strip-debug $<TARGET_FILE:updater> ${_updater_image})
else()
  set(_copy_updater ${CMAKE_COMMAND} -E copy $<TARGET_FILE:updater> ${_updater_image})
endif()
add_custom_command(
  OUTPUT ${_updater_image}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/updater-package
  COMMAND ${_copy_updater}
  DEPENDS updater
  COMMENT "Packing the updater into Tenvarel")

add_library(updaterpackage OBJECT ${CMAKE_SOURCE_DIR}/workbench/package/UpdaterPackage.cpp)
target_link_libraries(updaterpackage PRIVATE platform)
target_compile_definitions(updaterpackage PRIVATE TENVAREL_UPDATER_IMAGE="${_updater_image}")
set_source_files_properties(${CMAKE_SOURCE_DIR}/workbench/package/UpdaterPackage.cpp
  PROPERTIES OBJECT_DEPENDS ${_updater_image})
