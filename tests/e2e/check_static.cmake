# Runs ../check_system_dlls.cmake with this CMake's policies (its if(IN_LIST)
# needs them; a script run with -P starts with none set).
cmake_minimum_required(VERSION 3.25)
include(${CMAKE_CURRENT_LIST_DIR}/../check_system_dlls.cmake)
