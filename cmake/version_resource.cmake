# Version details in each Windows program's properties (Explorer: Properties, Details), the same
# version as --version answers: the project's. MinGW's windres and Visual Studio's rc both
# compile the one template.
if(NOT WIN32)
  return()
endif()
enable_language(RC)

set(brenik_product "Brenik actuator receivers")
set(brenik_copyright_holder "the Brenik receivers developers")
foreach(program IN ITEMS "L_BrenikReceiver:Brenik receiver for the left actuator"
                         "R_BrenikReceiver:Brenik receiver for the right actuator"
                         "brenik-send:Brenik test motion source"
                         "brenik-strokes:Brenik stroke calculator"
                         "brenik-relay:Brenik relay for motion programs")
  string(FIND "${program}" ":" colon)
  string(SUBSTRING "${program}" 0 ${colon} brenik_program)
  math(EXPR colon "${colon} + 1")
  string(SUBSTRING "${program}" ${colon} -1 brenik_description)
  set(resource ${CMAKE_BINARY_DIR}/version-resources/${brenik_program}.rc)
  configure_file(${PROJECT_SOURCE_DIR}/packaging/version.rc.in ${resource} @ONLY)
  target_sources(${brenik_program} PRIVATE ${resource})
endforeach()
