# Writes the source that carries the engine library inside a module; run by the build each
# time the library is linked, so the module always carries the current image.
#   -DIMAGE=<library file> -DOUTPUT=<source to write> -DFORMAT=rc|cpp
if(FORMAT STREQUAL "rc")
  # Raw-data resource 1 of the module.
  file(WRITE "${OUTPUT}" "1 RCDATA \"${IMAGE}\"\n")
else()
  # The bytes between two symbols, assembled straight from the file.
  file(WRITE "${OUTPUT}" "// Generated from ${IMAGE}; do not edit.
__asm__(
    \".section .rodata\\n\"
    \".balign 16\\n\"
    \".global zaxEngineImageBegin\\n\"
    \".hidden zaxEngineImageBegin\\n\"
    \"zaxEngineImageBegin:\\n\"
    \".incbin \\\"${IMAGE}\\\"\\n\"
    \".global zaxEngineImageEnd\\n\"
    \".hidden zaxEngineImageEnd\\n\"
    \"zaxEngineImageEnd:\\n\"
    \".byte 0\\n\"
    \".previous\\n\");
")
endif()
