# The VERSIONINFO resource of the Windows binaries, made from the project
# version so that the file properties, the zip's name and
# `rotavue-host --version` never disagree.
set(ROTAVUE_COPYRIGHT "Copyright (c) 2026 Rotavue developers. MIT License.")

# rotavue_version_resource(TARGET DESCRIPTION): TARGET's file name is its
# OriginalFilename; a shared library is marked as a DLL, anything else as an
# application.
function(rotavue_version_resource target description)
  get_target_property(type ${target} TYPE)
  get_target_property(name ${target} OUTPUT_NAME)
  if(NOT name)
    set(name ${target})
  endif()
  if(type STREQUAL "SHARED_LIBRARY")
    set(ROTAVUE_RC_FILETYPE VFT_DLL)
    set(ROTAVUE_RC_FILENAME ${name}.dll)
  else()
    set(ROTAVUE_RC_FILETYPE VFT_APP)
    set(ROTAVUE_RC_FILENAME ${name}.exe)
  endif()
  set(ROTAVUE_RC_DESCRIPTION "${description}")
  set(ROTAVUE_RC_INTERNAL_NAME ${name})
  set(resource ${CMAKE_CURRENT_BINARY_DIR}/${target}-version.rc)
  configure_file(${PROJECT_SOURCE_DIR}/cmake/version.rc.in ${resource} @ONLY)
  target_sources(${target} PRIVATE ${resource})
endfunction()

# rotavue_application_manifest(TARGET): cmake/application.manifest as the
# program's manifest (resource 1 of type RT_MANIFEST, 24), which Windows
# reads when it starts the program.
function(rotavue_application_manifest target)
  set(manifest ${PROJECT_SOURCE_DIR}/cmake/application.manifest)
  set(resource ${CMAKE_CURRENT_BINARY_DIR}/${target}-manifest.rc)
  file(CONFIGURE OUTPUT ${resource} CONTENT "1 24 \"${manifest}\"\n")
  set_source_files_properties(${resource} PROPERTIES OBJECT_DEPENDS ${manifest})
  target_sources(${target} PRIVATE ${resource})
endfunction()
