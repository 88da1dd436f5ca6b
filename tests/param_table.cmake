# TsdParSet and TsdParGet on the simulator: the public parameter descriptor
# table used row by row (and compiled as C99 beside it), then what the table
# does not say.
add_library(param_table_c STATIC param_table_c.c)
set_target_properties(param_table_c PROPERTIES C_STANDARD 99 C_STANDARD_REQUIRED ON C_EXTENSIONS OFF)
target_include_directories(param_table_c PRIVATE ${PROJECT_SOURCE_DIR}/scanlib/include)
tarvo_project_target(param_table_c)
tarvo_add_test(param_table_test param_table_test.cpp)
target_link_libraries(param_table_test PRIVATE param_table_c rt650sim Threads::Threads)
