# The "Apri" dialog and the "Info" box.
tembrio_test(test_open unit ${CMAKE_CURRENT_LIST_DIR}/test_open.cpp)
tembrio_test(test_about unit ${CMAKE_CURRENT_LIST_DIR}/test_about.cpp)
