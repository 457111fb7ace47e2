# Puts the channel lists that the reference service publishes beside the program, so that a first
# start finds them and goes straight to the channels. Lists already there are the user's and are
# never overwritten, and neither is an existing config.ini (CMake cannot rewrite it byte for byte);
# a new one is written with the placed lists' version.
#   cmake -DFROM=<exported lists> -DTO=<program folder> -P PlaceLists.cmake
file(READ "${FROM}/list-version" version)
string(STRIP "${version}" version)
set(placed FALSE)
foreach(name vqrcv8xotv.exe oftwy69jrad.exe)
  if(NOT EXISTS "${TO}/${name}")
    file(COPY_FILE "${FROM}/${name}" "${TO}/${name}")
    set(placed TRUE)
  endif()
endforeach()
if(placed AND NOT EXISTS "${TO}/config.ini")
  file(WRITE "${TO}/config.ini" "[config]\r\nvers_local_canales=${version}\r\n")
endif()
