# add_jni_library(<name> <sources...>)
# A shared library for the JVM to load: only its JNI entry points exported,
# no exceptions or RTTI, relocations read-only and bound at load, and no
# dependency beyond the C library.
function(add_jni_library name)
  add_library(${name} SHARED ${ARGN})
  target_include_directories(${name} PRIVATE ${JNI_INCLUDE_DIRS})
  set_target_properties(${name} PROPERTIES
    CXX_VISIBILITY_PRESET hidden
    VISIBILITY_INLINES_HIDDEN ON)
  target_compile_options(${name} PRIVATE -fno-exceptions -fno-rtti)
  target_link_options(${name} PRIVATE -Wl,-z,relro,-z,now -Wl,--as-needed)
endfunction()
