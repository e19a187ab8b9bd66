th_add_bench(NAME bench_storage SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/bench_storage.cpp LIBS th_storage SQLite::SQLite3)
