# Helpers shared by every module's tests, fuzz targets and benchmarks.
#
#   ad_add_test(<name> LABEL unit|gui|peer|e2e SOURCES ... [LIBS ...] [TIMEOUT s] [OWN_APP] [WIDGETS]
#               [LANGUAGES en fr ja])
#     A GoogleTest executable linked with the common test main (its own HOME and
#     XDG folders per test; a QApplication on the offscreen platform for gui tests).
#     With OWN_APP the tests make their own application object, so the main makes none.
#     With WIDGETS the main makes the QApplication whatever the label (peer tests of
#     windows).
#     e2e tests run on a desktop of their own: the main starts a virtual display (Xvfb)
#     with a window manager (openbox) and the QApplication on it (platform/testsupport/desktop.h).
#     Each test case becomes its own CTest test carrying the label. The program takes its
#     language from the locale; e2e tests run in English, and with LANGUAGES once per
#     language given, as <test>.<language>.
#
#   ad_add_fuzzer(<name> SOURCES ... [LIBS ...] [SEEDS dir ...] [MAX_LEN bytes]
#                 [RSS_LIMIT_MB megabytes] [RUNS suffix=VARIABLE=value ...])
#     A libFuzzer target, built only with ALBUMDESK_FUZZ. It is also registered as a
#     CTest test (label fuzz) that runs a few seconds over the seed folders, with inputs
#     of at most MAX_LEN bytes when given; an input whose run takes more memory than
#     RSS_LIMIT_MB (2048 when not given), or asks for more at once, fails it. Each RUNS
#     entry registers one more such test, <name>_<suffix>, with the variable set in its
#     environment (and its own corpus).

include(GoogleTest)
find_package(GTest REQUIRED)

function(ad_add_test name)
  if(NOT ALBUMDESK_TESTS OR ALBUMDESK_FUZZ)
    return()
  endif()
  cmake_parse_arguments(T "OWN_APP;WIDGETS" "LABEL;TIMEOUT" "SOURCES;LIBS;LANGUAGES" ${ARGN})
  if(NOT T_LABEL)
    set(T_LABEL unit)
  endif()
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  add_executable(${name} ${T_SOURCES})
  if(T_LABEL STREQUAL "e2e")
    if(T_OWN_APP)
      message(FATAL_ERROR "${name}: desktop tests get their application from the common main")
    endif()
    target_link_libraries(${name} PRIVATE ad_testmain_desktop)
  elseif((T_WIDGETS OR T_LABEL STREQUAL "gui") AND NOT T_OWN_APP)
    target_link_libraries(${name} PRIVATE ad_testmain_gui)
  else()
    target_link_libraries(${name} PRIVATE ad_testmain)
  endif()
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gmock)
  target_compile_definitions(${name} PRIVATE AD_SOURCE_DIR="${CMAKE_CURRENT_SOURCE_DIR}"
                                             AD_BIN_DIR="${AD_BIN_DIR}")
  if(NOT T_LABEL STREQUAL "e2e")
    gtest_discover_tests(${name}
      DISCOVERY_TIMEOUT 60
      PROPERTIES LABELS ${T_LABEL} TIMEOUT ${T_TIMEOUT}
                 ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
    return()
  endif()
  # The desktop's language comes from the locale, as on a user's machine.
  set(locale_en en_US.UTF-8)
  set(locale_fr fr_FR.UTF-8)
  set(locale_ja ja_JP.UTF-8)
  set(suffix "")
  if(NOT T_LANGUAGES)
    set(T_LANGUAGES en)
  else()
    set(suffix ON)
  endif()
  foreach(language ${T_LANGUAGES})
    if(NOT DEFINED locale_${language})
      message(FATAL_ERROR "${name}: no locale for the language ${language}")
    endif()
    set(l ${locale_${language}})
    set(test_suffix "")
    if(suffix)
      set(test_suffix ".${language}")
    endif()
    gtest_discover_tests(${name}
      DISCOVERY_TIMEOUT 60
      TEST_SUFFIX "${test_suffix}"
      PROPERTIES LABELS ${T_LABEL} TIMEOUT ${T_TIMEOUT} SKIP_RETURN_CODE 77
                 # LC_ALL decides every category of the locale. One variable only: the
                 # discovery script splits a list of them into separate properties.
                 ENVIRONMENT "LC_ALL=${l}")
  endforeach()
endfunction()

function(ad_add_fuzzer name)
  if(NOT ALBUMDESK_FUZZ)
    return()
  endif()
  cmake_parse_arguments(F "" "MAX_LEN;RSS_LIMIT_MB" "SOURCES;LIBS;SEEDS;RUNS" ${ARGN})
  add_executable(${name} ${F_SOURCES})
  target_compile_options(${name} PRIVATE -fsanitize=fuzzer)
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  target_link_libraries(${name} PRIVATE ${F_LIBS})
  if(NOT F_RSS_LIMIT_MB)
    set(F_RSS_LIMIT_MB 2048)
  endif()
  set(options -max_total_time=8 -rss_limit_mb=${F_RSS_LIMIT_MB})
  if(F_MAX_LEN)
    list(APPEND options -max_len=${F_MAX_LEN})
  endif()
  # New inputs go to the first folder (in the build tree); the seeds stay untouched.
  set(corpus ${CMAKE_CURRENT_BINARY_DIR}/${name}-corpus)
  file(MAKE_DIRECTORY ${corpus})
  add_test(NAME ${name} COMMAND $<TARGET_FILE:${name}> ${options} ${corpus} ${F_SEEDS})
  set_tests_properties(${name} PROPERTIES LABELS fuzz TIMEOUT 120)
  foreach(run ${F_RUNS})
    string(REGEX MATCH "^([^=]+)=(.+)$" matched "${run}")
    if(NOT matched)
      message(FATAL_ERROR "ad_add_fuzzer(${name}): RUNS entry '${run}' is not suffix=VARIABLE=value")
    endif()
    set(test ${name}_${CMAKE_MATCH_1})
    set(environment "${CMAKE_MATCH_2}")
    file(MAKE_DIRECTORY ${corpus}-${CMAKE_MATCH_1})
    add_test(NAME ${test} COMMAND $<TARGET_FILE:${name}> ${options} ${corpus}-${CMAKE_MATCH_1} ${F_SEEDS})
    set_tests_properties(${test} PROPERTIES LABELS fuzz TIMEOUT 120 ENVIRONMENT "${environment}")
  endforeach()
endfunction()
