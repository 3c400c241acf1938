# The language level and warnings every build of this project uses: the whole
# project, and the benchmark and fuzz targets when configured on their own.
set(CMAKE_CXX_STANDARD 20)
set(CMAKE_CXX_STANDARD_REQUIRED ON)
set(CMAKE_CXX_EXTENSIONS OFF)
add_compile_options(-Wall -Wextra -Wshadow)
