# The legacy setup program is embedded as a resource. Without a real file the
# build embeds the project's stand-in, which records its command line.
if(ZELQA_LEGACY_SETUP_EXE)
  if(NOT EXISTS "${ZELQA_LEGACY_SETUP_EXE}")
    message(FATAL_ERROR "ZELQA_LEGACY_SETUP_EXE names a missing file: ${ZELQA_LEGACY_SETUP_EXE}")
  endif()
  set(ZELQA_LEGACY_SETUP_STANDIN OFF)
  message(STATUS "Embedding legacy setup program: ${ZELQA_LEGACY_SETUP_EXE}")
elseif(ZELQA_REQUIRE_LEGACY_SETUP)
  message(FATAL_ERROR "This preset ships the launcher: set ZELQA_LEGACY_SETUP_EXE to the legacy setup program to embed.")
else()
  set(ZELQA_LEGACY_SETUP_STANDIN ON)
  message(STATUS "ZELQA_LEGACY_SETUP_EXE not set: embedding the stand-in legacy setup program (not for release)")
endif()
