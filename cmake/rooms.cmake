# Rooms: each folder of the code is a build target that links only the rooms it may use.
#
# A room's include root lies in the build tree and holds one link, at the folder's own path, to
# that folder alone (or to the few files of it that are the room's), so `#include
# "serviceobject/core/so_state.h"` is found by the core room and by those that link it, and by
# no other target: an include that runs the wrong way fails the build.
#
# kirnow_room(<target> FOLDER <folder> [FILES <file>...] [SOURCES <file>...]
#             [USES <room>...] [USES_PRIVATELY <room>...])
#   FOLDER          the room's folder, relative to the source root;
#   FILES           only these files of the folder are reachable (a folder whose subfolders are
#                   rooms of their own); else the whole folder;
#   SOURCES         the room's sources, relative to its folder: a static library; without them
#                   an interface library (headers only);
#   USES            rooms that its headers include (passed on to the rooms that link it);
#   USES_PRIVATELY  rooms that only its sources include.
function(kirnow_room target)
  cmake_parse_arguments(PARSE_ARGV 1 room "" "FOLDER" "FILES;SOURCES;USES;USES_PRIVATELY")
  set(root ${CMAKE_BINARY_DIR}/rooms/${target})
  set(source_folder ${CMAKE_SOURCE_DIR}/${room_FOLDER})
  if(room_FILES)
    file(MAKE_DIRECTORY ${root}/${room_FOLDER})
    foreach(file IN LISTS room_FILES)
      kirnow_room_link(${source_folder}/${file} ${root}/${room_FOLDER}/${file})
    endforeach()
  else()
    cmake_path(GET room_FOLDER PARENT_PATH parent)
    file(MAKE_DIRECTORY ${root}/${parent})
    kirnow_room_link(${source_folder} ${root}/${room_FOLDER})
  endif()

  if(room_SOURCES)
    list(TRANSFORM room_SOURCES PREPEND ${source_folder}/)
    add_library(${target} STATIC ${room_SOURCES})
    target_include_directories(${target} PUBLIC ${root})
    target_link_libraries(${target} PUBLIC ${room_USES} kirnow_config
                          PRIVATE ${room_USES_PRIVATELY} kirnow_warnings)
  else()
    add_library(${target} INTERFACE)
    target_include_directories(${target} INTERFACE ${root})
    target_link_libraries(${target} INTERFACE ${room_USES} kirnow_config)
  endif()
endfunction()

# A symbolic link at `link` to `to`, made again when it points elsewhere.
function(kirnow_room_link to link)
  if(IS_SYMLINK ${link})
    file(READ_SYMLINK ${link} current)
    if(current STREQUAL to)
      return()
    endif()
    file(REMOVE ${link})
  endif()
  file(CREATE_LINK ${to} ${link} SYMBOLIC)
endfunction()

# The check that an include running the wrong way fails the build: `source` includes `header`,
# a header of a room that `room` does not link; test `test` builds it and passes when that build
# fails for want of that header (not for some other reason).
function(kirnow_room_wrong_way_check test room source header)
  add_library(${test} OBJECT EXCLUDE_FROM_ALL ${source})
  target_link_libraries(${test} PRIVATE ${room} kirnow_warnings)
  add_test(NAME ${test}
           COMMAND ${CMAKE_COMMAND} --build ${CMAKE_BINARY_DIR} --target ${test})
  string(REPLACE "." "\\." pattern "${header}")
  set_tests_properties(${test} PROPERTIES PASS_REGULAR_EXPRESSION
                       "${pattern}[': ]+(No such file|file not found)")
endfunction()
