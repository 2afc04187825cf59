# Settings shared by every Halvora target.

# glib's headers use "signals" as a field name, so Qt's keywords stay off everywhere.
add_compile_definitions(QT_NO_KEYWORDS)

add_compile_options(-Wall -Wextra)
if(HALVORA_WERROR)
  add_compile_options(-Werror)
endif()

# halvora_library(NAME SOURCES... [LIBS ...]): a static library whose headers are
# included as "core/...", "linux/..." or "app/..." from src/.
function(halvora_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
  target_link_libraries(${name} PUBLIC ${ARG_LIBS})
endfunction()

# halvora_test(NAME SOURCES... LIBS... [GUI]): one GoogleTest executable, discovered by
# CTest. Its main() points HOME and every XDG directory at a fresh temporary directory
# before anything else runs; GUI tests get a QApplication on the offscreen platform.
function(halvora_test name)
  cmake_parse_arguments(ARG "GUI" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  if(ARG_GUI)
    set(main_lib halvora_test_main_gui)
  else()
    set(main_lib halvora_test_main)
  endif()
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} ${main_lib} GTest::gtest GTest::gmock)
  gtest_discover_tests(${name}
    DISCOVERY_MODE PRE_TEST
    DISCOVERY_TIMEOUT 60
    PROPERTIES TIMEOUT 900 ENVIRONMENT "QT_QPA_PLATFORM=offscreen;HALVORA_TEST=1")
endfunction()
