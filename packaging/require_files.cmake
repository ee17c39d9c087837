# Stops the build with a plain message when a file the package carries is missing.
foreach(f ${FILES})
  if(NOT EXISTS "${f}")
    message(FATAL_ERROR "${f} is missing: the 64-bit package carries the 32-bit build; "
                        "build the windows-x86 preset first (cmake --build --preset windows-x86)")
  endif()
endforeach()
