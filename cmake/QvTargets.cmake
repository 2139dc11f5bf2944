# Shared compile options and helpers for the project's libraries, tests and fuzzers.

add_library(qv_options INTERFACE)
target_compile_options(qv_options INTERFACE -Wall -Wextra)
target_compile_definitions(qv_options INTERFACE QV_VERSION_TEXT="${PROJECT_VERSION}")

if(QV_SANITIZER STREQUAL "address")
  set(QV_SAN_FLAGS -fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
elseif(QV_SANITIZER STREQUAL "thread")
  set(QV_SAN_FLAGS -fsanitize=thread -fno-omit-frame-pointer)
else()
  set(QV_SAN_FLAGS "")
endif()
if(QV_FUZZ)
  list(APPEND QV_SAN_FLAGS -fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer)
  add_compile_options(-fsanitize-coverage-ignorelist=${PROJECT_SOURCE_DIR}/cmake/fuzz-coverage-ignore.txt)
endif()
if(QV_SAN_FLAGS)
  add_compile_options(${QV_SAN_FLAGS})
  add_link_options(${QV_SAN_FLAGS})
endif()

# qv_add_library(name SOURCES...) — a static library of the project's own code.
function(qv_add_library name)
  add_library(${name} STATIC ${ARGN})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
  target_link_libraries(${name} PUBLIC qv_options)
endfunction()

# qv_add_test(name SOURCES a.cpp b.cpp LIBS x y [THREADED] [LABELS l...] [PROPERTIES k v...])
# A GoogleTest program registered with ctest. THREADED marks tests that the
# ThreadSanitizer build also runs; in that build every other test is skipped.
# Every test is also labelled with its area, the folder under tests/ it lives
# in ("ui", "platform", "app", ...): the optimised build runs areas by label.
function(qv_add_test name)
  cmake_parse_arguments(T "THREADED" "" "SOURCES;LIBS;LABELS;PROPERTIES" ${ARGN})
  if(QV_FUZZ)
    return()
  endif()
  if(QV_SANITIZER STREQUAL "thread" AND NOT T_THREADED)
    return()
  endif()
  find_package(GTest REQUIRED)
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} qv_test_support GTest::gmock GTest::gtest GTest::gtest_main)
  set(labels ${T_LABELS})
  file(RELATIVE_PATH area "${PROJECT_SOURCE_DIR}/tests" "${CMAKE_CURRENT_SOURCE_DIR}")
  string(REGEX REPLACE "/.*" "" area "${area}")
  if(area AND NOT area MATCHES "^\\.")
    list(APPEND labels ${area})
  endif()
  if(T_THREADED)
    list(APPEND labels threaded)
  endif()
  # Tests labelled "jack" start a private JACK server each. All servers of a
  # user share a registry with room for eight and a metadata database in
  # /dev/shm that a stopping server removes under the others' clients, so
  # ctest runs with a resource file (tests/jack-resources.json) that lets one
  # of these tests run at a time.
  set(args " LABELS [==[${labels}]==]")
  if("jack" IN_LIST labels)
    string(APPEND args " RESOURCE_GROUPS jackd:1")
  endif()
  include(GoogleTest)
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES ${T_PROPERTIES})
  # The discovered tests' PROPERTIES pass through a generated script that
  # splits every list, so labels and resources are set by a file ctest reads
  # after the list of discovered tests.
  set(post "${CMAKE_CURRENT_BINARY_DIR}/${name}_properties.cmake")
  file(WRITE "${post}"
    "if(DEFINED ${name}_TESTS)\n"
    "  set_tests_properties(\${${name}_TESTS} PROPERTIES${args})\n"
    "endif()\n")
  set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES "${post}")
endfunction()

# qv_test_runs_programs(name program...) — the test starts quorvane,
# qv-simfeed and/or qv-audiohost: they are built first and their paths reach
# the test as QV_QUORVANE_PATH, QV_SIMFEED_PATH and QV_AUDIOHOST_PATH.
function(qv_test_runs_programs name)
  if(NOT TARGET ${name})
    return()
  endif()
  foreach(program ${ARGN})
    add_dependencies(${name} ${program})
    if(program STREQUAL "quorvane")
      target_compile_definitions(${name} PRIVATE QV_QUORVANE_PATH="$<TARGET_FILE:quorvane>")
    elseif(program STREQUAL "qv-simfeed")
      target_compile_definitions(${name} PRIVATE QV_SIMFEED_PATH="$<TARGET_FILE:qv-simfeed>")
    elseif(program STREQUAL "qv-audiohost")
      target_compile_definitions(${name} PRIVATE QV_AUDIOHOST_PATH="$<TARGET_FILE:qv-audiohost>")
    else()
      message(FATAL_ERROR "qv_test_runs_programs: unknown program ${program}")
    endif()
  endforeach()
endfunction()

# qv_add_fuzzer(name SOURCES... LIBS...) — a libFuzzer target, built only with QV_FUZZ.
function(qv_add_fuzzer name)
  cmake_parse_arguments(F "" "" "SOURCES;LIBS" ${ARGN})
  if(NOT QV_FUZZ)
    return()
  endif()
  add_executable(${name} ${F_SOURCES})
  target_link_libraries(${name} PRIVATE ${F_LIBS})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests)
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  set_property(GLOBAL APPEND PROPERTY QV_FUZZERS ${name})
endfunction()

# qv_place_fonts() — copies the repository's fonts/ folder into "fonts" in the
# current binary folder, beside the executables built there (the graphics
# layer loads its private fonts from there). Copied at configure time, again
# whenever a file in fonts/ changes.
function(qv_place_fonts)
  file(GLOB qv_font_files CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/fonts/*)
  foreach(font ${qv_font_files})
    get_filename_component(name ${font} NAME)
    configure_file(${font} ${CMAKE_CURRENT_BINARY_DIR}/fonts/${name} COPYONLY)
  endforeach()
endfunction()
