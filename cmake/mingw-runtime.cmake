# MinGW builds carry their C and C++ runtimes inside, so the programs, the stand-in library and
# the test programs run on a bare Windows with no compiler DLLs beside them.
if(MINGW)
  add_link_options(-static -static-libgcc -static-libstdc++)
endif()
