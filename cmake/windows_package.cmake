# The zip a Windows player downloads (`make windows-package`): velmor.exe without its
# symbols, a German read-me for players, Velmor's licence and those of the compiler's
# runtime that velmor.exe holds (it is linked statically).
find_program(VELMOR_STRIP NAMES ${VELMOR_MINGW_TRIPLE}-strip REQUIRED)
set(package ${CMAKE_BINARY_DIR}/package)
# The runtime's licences as Debian's toolchain packages state them.
set(runtime_licences /usr/share/doc/mingw-w64-common/copyright
                     /usr/share/doc/gcc-mingw-w64-base/copyright)
foreach(file ${runtime_licences})
  if(NOT EXISTS ${file})
    message(FATAL_ERROR "${file} is missing: the zip needs it (scripts/install-deps)")
  endif()
endforeach()
# Windows editors expect CR LF; the read-me starts with a byte order mark for Notepad.
configure_file(${CMAKE_SOURCE_DIR}/packaging/windows/LIESMICH.txt ${package}/LIESMICH.txt @ONLY
               NEWLINE_STYLE CRLF)
configure_file(${CMAKE_SOURCE_DIR}/LICENSE ${package}/LICENSE.txt @ONLY NEWLINE_STYLE CRLF)
list(GET runtime_licences 0 mingw_licence)
list(GET runtime_licences 1 gcc_licence)
configure_file(${mingw_licence} ${package}/LICENSE-mingw-w64.txt COPYONLY)
configure_file(${gcc_licence} ${package}/LICENSE-gcc-runtime.txt COPYONLY)

set(zip_files velmor.exe LIESMICH.txt LICENSE.txt LICENSE-mingw-w64.txt LICENSE-gcc-runtime.txt)
add_custom_command(
  OUTPUT ${CMAKE_BINARY_DIR}/velmor-windows.zip
  COMMAND ${VELMOR_STRIP} -o ${package}/velmor.exe $<TARGET_FILE:velmor>
  COMMAND ${CMAKE_COMMAND} -E tar cf ${CMAKE_BINARY_DIR}/velmor-windows.zip --format=zip
          ${zip_files}
  WORKING_DIRECTORY ${package}
  DEPENDS velmor $<TARGET_FILE:velmor> ${package}/LIESMICH.txt ${package}/LICENSE.txt
  COMMENT "Packing velmor-windows.zip")
add_custom_target(velmor_windows_package DEPENDS ${CMAKE_BINARY_DIR}/velmor-windows.zip)
