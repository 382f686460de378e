# `format-check` fails when a C++ source differs from .clang-format; `format` rewrites them.
find_program(CLANG_FORMAT_PROGRAM NAMES clang-format clang-format-14)
if(CLANG_FORMAT_PROGRAM)
    file(GLOB_RECURSE VORN_FORMAT_SOURCES CONFIGURE_DEPENDS
        ${PROJECT_SOURCE_DIR}/src/*.cpp ${PROJECT_SOURCE_DIR}/src/*.h
        ${PROJECT_SOURCE_DIR}/libdc/*.cpp ${PROJECT_SOURCE_DIR}/libdc/*.h
        ${PROJECT_SOURCE_DIR}/tools/*.cpp ${PROJECT_SOURCE_DIR}/tools/*.h
        ${PROJECT_SOURCE_DIR}/tests/*.cpp ${PROJECT_SOURCE_DIR}/tests/*.h)
    add_custom_target(format-check
        COMMAND ${CLANG_FORMAT_PROGRAM} --dry-run -Werror ${VORN_FORMAT_SOURCES}
        COMMENT "Checking C++ formatting" VERBATIM)
    add_custom_target(format
        COMMAND ${CLANG_FORMAT_PROGRAM} -i ${VORN_FORMAT_SOURCES}
        COMMENT "Formatting C++ sources" VERBATIM)
endif()
