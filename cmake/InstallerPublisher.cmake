# Who must have signed ZelqaAntiCheat.Installer.exe for the launcher to run
# it: the exact subject common name of the signing certificate. Empty, or
# "unsigned-allowed", builds a launcher that runs any file of that name.
set(ZELQA_INSTALLER_PUBLISHER "" CACHE STRING
    "Subject common name that must have signed ZelqaAntiCheat.Installer.exe; empty or unsigned-allowed: no check")
option(ZELQA_REQUIRE_INSTALLER_PUBLISHER "Refuse to configure without ZELQA_INSTALLER_PUBLISHER" OFF)

if(ZELQA_INSTALLER_PUBLISHER STREQUAL "unsigned-allowed")
  set(ZELQA_PINNED_PUBLISHER "")
  message(STATUS "ZELQA_INSTALLER_PUBLISHER is unsigned-allowed: the launcher runs any ZelqaAntiCheat.Installer.exe it finds")
elseif(ZELQA_INSTALLER_PUBLISHER)
  set(ZELQA_PINNED_PUBLISHER "${ZELQA_INSTALLER_PUBLISHER}")
  message(STATUS "The launcher runs ZelqaAntiCheat.Installer.exe only when signed by: ${ZELQA_INSTALLER_PUBLISHER}")
elseif(ZELQA_REQUIRE_INSTALLER_PUBLISHER)
  message(FATAL_ERROR
    "This preset ships the launcher, which setups run elevated from folders users can write to. "
    "Set ZELQA_INSTALLER_PUBLISHER to the subject common name of the certificate that signs "
    "ZelqaAntiCheat.Installer.exe, so that no other program of that name is ever run; or set it to "
    "unsigned-allowed to ship without that check on purpose.")
else()
  set(ZELQA_PINNED_PUBLISHER "")
endif()

# Writes DIRECTORY/installer_publisher.h, which defines the setting as a wide
# string literal for the entry point.
function(zelqa_write_publisher_header directory publisher)
  string(REPLACE "\\" "\\\\" _escaped "${publisher}")
  string(REPLACE "\"" "\\\"" _escaped "${_escaped}")
  file(GENERATE OUTPUT ${directory}/installer_publisher.h
       CONTENT "#define ZELQA_INSTALLER_PUBLISHER L\"${_escaped}\"\n")
endfunction()
