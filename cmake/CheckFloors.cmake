# The folders of src/ and of service/ stack: a folder may include its own files and those of the
# folders below it, never those above it or beside it; files at the top of the tree (the service's
# wiring and main()) stand above every floor. Run as a test:
#   cmake -DSRC=<folder> [-DFLOORS="lowest|next|two beside|..."] -P CheckFloors.cmake
# Fails listing every include that points up or sideways.
if(DEFINED FLOORS)
  string(REPLACE "|" ";" FLOORS "${FLOORS}")
else()
  set(FLOORS platform base catalogue "community update" playback windows app)
endif()

set(rank 0)
foreach(floor IN LISTS FLOORS)
  string(REPLACE " " ";" folders "${floor}")
  foreach(folder IN LISTS folders)
    set(RANK_${folder} ${rank})
  endforeach()
  math(EXPR rank "${rank} + 1")
endforeach()

file(GLOB_RECURSE sources RELATIVE "${SRC}" "${SRC}/*.h" "${SRC}/*.cpp")
set(faults "")
foreach(source IN LISTS sources)
  if(NOT source MATCHES "/")
    continue() # the top of the tree
  endif()
  string(REGEX MATCH "^[^/]+" folder "${source}")
  if(NOT DEFINED RANK_${folder})
    list(APPEND faults "${source}: the folder ${folder} has no floor")
    continue()
  endif()
  file(STRINGS "${SRC}/${source}" lines REGEX "^[ \t]*#[ \t]*include[ \t]*\"[^\"/]+/")
  foreach(line IN LISTS lines)
    string(REGEX REPLACE "^[^\"]*\"([^\"/]+)/.*$" "\\1" target "${line}")
    if(target STREQUAL folder)
      continue()
    endif()
    if(NOT DEFINED RANK_${target})
      continue() # a subfolder of the same folder, such as platform/web, reached relatively
    endif()
    if(NOT RANK_${target} LESS RANK_${folder})
      string(STRIP "${line}" line)
      list(APPEND faults "${source}: ${line} (${folder} may only include folders below it)")
    endif()
  endforeach()
endforeach()

if(faults)
  list(JOIN faults "\n  " text)
  message(FATAL_ERROR "Includes that point up or sideways:\n  ${text}")
endif()
list(LENGTH sources count)
message(STATUS "${count} sources, every include points down")
