# GoogleTest from Debian's sources (they build for MinGW too) and a helper to
# declare test programs. Under MinGW, ctest runs them through Wine.

set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
add_subdirectory(${VELMORA_GTEST_SOURCES} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

set(VELMORA_SANITIZER_FLAGS -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
set(VELMORA_USE_SANITIZERS OFF)
if(VELMORA_SANITIZE AND NOT WIN32 AND CMAKE_CXX_COMPILER_ID MATCHES "Clang|GNU")
  set(VELMORA_USE_SANITIZERS ON)
  # The model once more, instrumented, for the tests and the fuzz target.
  velmora_add_model(velmora_model_sanitized)
  target_compile_options(velmora_model_sanitized PRIVATE ${VELMORA_SANITIZER_FLAGS})
  target_link_options(velmora_model_sanitized INTERFACE ${VELMORA_SANITIZER_FLAGS})
endif()

# velmora_add_test(NAME source... [LIBS lib...] [TIMEOUT s] [NO_TEST])
# A GoogleTest program linked with the model (the instrumented one natively),
# and the ctest entry that runs it (NO_TEST: the caller makes its own).
function(velmora_add_test name)
  cmake_parse_arguments(T "NO_TEST" "TIMEOUT" "LIBS" ${ARGN})
  add_executable(${name} ${T_UNPARSED_ARGUMENTS})
  if(VELMORA_USE_SANITIZERS)
    target_compile_options(${name} PRIVATE ${VELMORA_SANITIZER_FLAGS})
    target_link_libraries(${name} PRIVATE velmora_model_sanitized)
  else()
    target_link_libraries(${name} PRIVATE velmora_model)
  endif()
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest_main velmora_warnings)
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR} ${PROJECT_SOURCE_DIR}/tests)
  if(T_NO_TEST)
    return()
  endif()
  add_test(NAME ${name} COMMAND ${name} --gtest_color=no)
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  set_tests_properties(${name} PROPERTIES TIMEOUT ${T_TIMEOUT})
endfunction()
