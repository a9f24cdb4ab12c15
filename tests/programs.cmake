# Whole-program checks: the real rollgrasp in a private Xvfb server, driven with
# xdotool and judged from screenshots (tests/gui). Each check starts its own
# server on a free display number, so they may run in parallel.
foreach(check window replay resize no_display snapshot failed_finger frames mouse play panels faults wait_banner
      contacts goal gait explains scene_keys)
  add_test(NAME gui_${check}
           COMMAND bash ${CMAKE_SOURCE_DIR}/tests/gui/check_${check}.sh ${CMAKE_BINARY_DIR})
  set_tests_properties(gui_${check} PROPERTIES TIMEOUT 240 LABELS gui)
endforeach()

# The overlay composed into large bitmaps against the same overlay drawn one
# character at a time, in a real GL context under the check's own Xvfb.
add_executable(test_overlay_pixels ${CMAKE_SOURCE_DIR}/tests/gl/overlay_pixels.cpp)
target_link_libraries(test_overlay_pixels PRIVATE rgrender GTest::gtest GTest::gtest_main)
add_test(NAME gui_overlay_pixels
         COMMAND bash ${CMAKE_SOURCE_DIR}/tests/gui/check_overlay_pixels.sh ${CMAKE_BINARY_DIR})
set_tests_properties(gui_overlay_pixels PROPERTIES TIMEOUT 240 LABELS gui)

# No source file includes a file of a higher layer.
find_package(Python3 COMPONENTS Interpreter REQUIRED)
add_test(NAME include_layers COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/scripts/check_layers.py
         ${CMAKE_SOURCE_DIR}/src)

# The Python module's tests (pytest, Debian's python3-pytest) with the module
# of this build tree. Labelled python: `make check` leaves them to `make pytest`.
# pytest's exit status 5 (no tests collected) fails the test like any other.
if(RG_HAVE_PYTHON)
  add_test(NAME pytest COMMAND ${PYTHON_EXECUTABLE} -m pytest -q -p no:cacheprovider
           ${CMAKE_SOURCE_DIR}/tests/python)
  set_tests_properties(pytest PROPERTIES ENVIRONMENT "RG_BUILD_DIR=${CMAKE_BINARY_DIR}"
                       LABELS python TIMEOUT 600)
endif()
