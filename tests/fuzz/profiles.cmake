# Profile documents and exchange files: exchange-file import from arbitrary bytes, and the
# profile commands with arbitrary XPath and subtree texts over the fixture documents.
foreach(target fuzz_exchange_import fuzz_profile_commands)
    vorn_add_fuzzer(${target} SOURCES ${target}.cpp LIBS vorn_commands)
    target_include_directories(${target} PRIVATE ${PROJECT_SOURCE_DIR}/tests/unit/profiles)
    target_compile_definitions(${target} PRIVATE
        VORN_FIXTURES_DIR="${PROJECT_SOURCE_DIR}/tests/fixtures")
endforeach()
