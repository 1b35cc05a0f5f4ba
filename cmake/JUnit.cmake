# add_junit_test(NAME <test> LIBRARY <target> SOURCES <files...> [LAUNCHER <cmd...>]
#                [LIBRARY_PATH <dir>])
# Compiles the Java sources, with the shared test helpers, against JUnit 5 and
# registers a CTest test that runs them in a real JVM with -Xcheck:jni, finding
# the JNI library through java.library.path (the target's build directory, or
# LIBRARY_PATH, e.g. an installed tree). LAUNCHER prefixes the JVM command (e.g. unshare -n). In a
# SANITIZE build the JVM starts with the sanitizer runtime preloaded.
find_file(JUNIT_CONSOLE_JAR junit-platform-console-standalone.jar
          PATHS /usr/share/java NO_DEFAULT_PATH)
if(NOT JUNIT_CONSOLE_JAR)
  message(FATAL_ERROR "junit-platform-console-standalone.jar not found (run scripts/setup.sh)")
endif()

# In a SANITIZE build the JNI libraries need the sanitizer runtime, and it must be
# in the process before anything else, so the JVM gets it through LD_PRELOAD
# (after the launcher, which stays as it is). The JVM handles SIGSEGV itself, for
# implicit null checks and safepoint polls, so AddressSanitizer leaves that signal
# alone; leaks go unchecked, as the JVM frees little of what it holds at exit.
# Child processes the tests start (JVMs, ip) inherit the same environment.
set(JUNIT_SANITIZER_ENV)
if(SANITIZE)
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    set(runtimes libasan.so libubsan.so)
  else()
    # clang's shared AddressSanitizer runtime carries the UBSan handlers too.
    set(runtimes libclang_rt.asan-${CMAKE_SYSTEM_PROCESSOR}.so)
  endif()
  set(preload)
  foreach(runtime ${runtimes})
    execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${runtime}
                    OUTPUT_VARIABLE path OUTPUT_STRIP_TRAILING_WHITESPACE)
    if(NOT IS_ABSOLUTE "${path}" OR NOT EXISTS "${path}")
      message(FATAL_ERROR "SANITIZE: ${CMAKE_CXX_COMPILER} has no ${runtime} for the JVM to preload")
    endif()
    list(APPEND preload ${path})
  endforeach()
  string(REPLACE ";" ":" preload "${preload}")
  set(JUNIT_SANITIZER_ENV env LD_PRELOAD=${preload}
      ASAN_OPTIONS=handle_segv=0:allow_user_segv_handler=1:detect_leaks=0
      UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1)
endif()

# Helpers every JNI test tree shares, compiled into each test.
set(JUNIT_SUPPORT_SOURCES ${PROJECT_SOURCE_DIR}/jni/testsupport/java/jnitest/Descriptors.java)

function(add_junit_test)
  cmake_parse_arguments(JT "" "NAME;LIBRARY;LIBRARY_PATH" "SOURCES;LAUNCHER;JVM_ARGS;CLASSPATH" ${ARGN})
  set(classes ${CMAKE_CURRENT_BINARY_DIR}/${JT_NAME}-classes)
  list(TRANSFORM JT_SOURCES PREPEND ${CMAKE_CURRENT_SOURCE_DIR}/ OUTPUT_VARIABLE sources)
  list(APPEND sources ${JUNIT_SUPPORT_SOURCES})
  set(compile_cp ${JUNIT_CONSOLE_JAR} ${JT_CLASSPATH})
  string(REPLACE ";" ":" compile_cp "${compile_cp}")
  add_custom_command(
    OUTPUT ${classes}/.stamp
    COMMAND ${CMAKE_COMMAND} -E rm -rf ${classes}
    COMMAND ${Java_JAVAC_EXECUTABLE} -Xlint:all -Werror --release 17 -d ${classes}
            -cp ${compile_cp} ${sources}
    COMMAND ${CMAKE_COMMAND} -E touch ${classes}/.stamp
    DEPENDS ${sources}
    COMMENT "Compiling Java tests for ${JT_NAME}")
  add_custom_target(${JT_NAME}-classes ALL DEPENDS ${classes}/.stamp)
  set(run_cp ${classes} ${JT_CLASSPATH})
  string(REPLACE ";" ":" run_cp "${run_cp}")
  if(NOT JT_LIBRARY_PATH)
    set(JT_LIBRARY_PATH $<TARGET_FILE_DIR:${JT_LIBRARY}>)
  endif()
  add_test(NAME ${JT_NAME}
    COMMAND ${JT_LAUNCHER} ${JUNIT_SANITIZER_ENV} ${Java_JAVA_EXECUTABLE} -Xcheck:jni
            -Djava.library.path=${JT_LIBRARY_PATH} ${JT_JVM_ARGS}
            -jar ${JUNIT_CONSOLE_JAR} --disable-banner --fail-if-no-tests
            --details=tree --class-path ${run_cp} --scan-class-path)
endfunction()
