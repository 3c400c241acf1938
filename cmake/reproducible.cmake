# Windows programs come out the same byte for byte from the same sources,
# whatever folders they are built in: the compiler's output names neither
# folder, no __DATE__ or __TIME__ is used, symbols and debug sections are
# stripped, and the PE header has no time stamp, so the checksum that ld
# writes there follows from the bytes alone.
add_compile_options(-ffile-prefix-map=${PROJECT_SOURCE_DIR}/=
                    -ffile-prefix-map=${PROJECT_BINARY_DIR}/=
                    -Werror=date-time)
add_link_options(-s LINKER:--no-insert-timestamp)
