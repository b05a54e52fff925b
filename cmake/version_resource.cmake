# Version details in each Windows program's and the stand-in library's properties (Explorer:
# Properties, Details), the same version as --version answers: the project's. MinGW's windres
# and Visual Studio's rc both compile the one template.
if(NOT WIN32)
  return()
endif()
enable_language(RC)

set(brenik_product "Brenik actuator receivers")
set(brenik_copyright_holder "the Brenik receivers developers")

# Gives `target`, written as `file` (L_BrenikReceiver.exe), the version resource with
# `description`; `type` is VFT_APP for a program, VFT_DLL for a library.
function(brenik_add_version_resource target file description type)
  set(brenik_program ${target})
  set(brenik_file ${file})
  set(brenik_description "${description}")
  set(brenik_file_type ${type})
  set(resource ${CMAKE_BINARY_DIR}/version-resources/${target}.rc)
  configure_file(${PROJECT_SOURCE_DIR}/packaging/version.rc.in ${resource} @ONLY)
  target_sources(${target} PRIVATE ${resource})
endfunction()

foreach(program IN ITEMS "L_BrenikReceiver:Brenik receiver for the left actuator"
                         "R_BrenikReceiver:Brenik receiver for the right actuator"
                         "brenik-send:Brenik test motion source"
                         "brenik-strokes:Brenik stroke calculator"
                         "brenik-relay:Brenik relay for motion programs")
  string(FIND "${program}" ":" colon)
  string(SUBSTRING "${program}" 0 ${colon} name)
  math(EXPR colon "${colon} + 1")
  string(SUBSTRING "${program}" ${colon} -1 description)
  brenik_add_version_resource(${name} ${name}.exe "${description}" VFT_APP)
endforeach()

# The stand-in shares the real library's file name: its properties are where a rig owner looking
# at AXCLCOM.dll tells the two apart.
brenik_add_version_resource(AXCLCOM AXCLCOM.dll
  "Stand-in for the AXCLCOM controller library: drives no hardware, nothing moves" VFT_DLL)
