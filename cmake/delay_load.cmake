# System DLLs that are not among Windows' KnownDLLs would be looked for beside velmor.exe
# first, where a planted DLL of that name (in a Downloads folder, say) would be loaded before
# any of our code runs. They are delay-loaded instead: at the first call, after the program
# has limited the search to the system folder (SetDefaultDllDirectories).
#
# velmor_delay_load(<dll stem>) makes the interface library velmor_<stem>_delay, which links
# the functions cmake/delay-load/<stem>.def names; a function missing there fails the link.
find_program(VELMOR_DLLTOOL NAMES ${VELMOR_MINGW_TRIPLE}-dlltool dlltool REQUIRED)

function(velmor_delay_load stem)
  set(def ${CMAKE_SOURCE_DIR}/cmake/delay-load/${stem}.def)
  set(library ${CMAKE_BINARY_DIR}/delay-load/lib${stem}_delay.a)
  add_custom_command(
    OUTPUT ${library}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/delay-load
    COMMAND ${VELMOR_DLLTOOL} --input-def ${def} --output-delaylib ${library}
    DEPENDS ${def}
    COMMENT "Delay-load library for ${stem}")
  add_custom_target(velmor_${stem}_delay_library DEPENDS ${library})
  add_library(velmor_${stem}_delay INTERFACE)
  add_dependencies(velmor_${stem}_delay velmor_${stem}_delay_library)
  # delayimp holds the loader the delayed calls go through.
  target_link_libraries(velmor_${stem}_delay INTERFACE ${library} delayimp)
endfunction()

velmor_delay_load(winmm)
velmor_delay_load(iphlpapi)
