# cmake -DIN=... -DOUT=... [-DSCREENSHOT_URL=https://...] -P metainfo.cmake
# Writes the metainfo from its template. A screenshot must have a public web address;
# without one the screenshots element is left out rather than pointing nowhere.
cmake_minimum_required(VERSION 3.25)
file(READ "${IN}" text)
if(SCREENSHOT_URL)
  if(NOT SCREENSHOT_URL MATCHES "^https?://[^ <>&\"]+$")
    message(FATAL_ERROR "SCREENSHOT_URL must be an http(s) address without spaces or XML "
                        "characters, not '${SCREENSHOT_URL}'")
  endif()
  string(REPLACE "@REZURUDEV_SCREENSHOT_URL@" "${SCREENSHOT_URL}" text "${text}")
else()
  string(REGEX REPLACE "  <screenshots>.*</screenshots>\n" "" text "${text}")
endif()
file(WRITE "${OUT}" "${text}")
