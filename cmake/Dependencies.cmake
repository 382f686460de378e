# Every external dependency is found here, with its minimum version.
include(FeatureSummary)

find_package(Qt6 6.4 REQUIRED COMPONENTS Core Gui Widgets Network WebEngineWidgets WebChannel)
find_package(pugixml 1.11 REQUIRED)
find_package(LibLZMA 5.2 REQUIRED)
find_package(PkgConfig REQUIRED)
pkg_check_modules(SODIUM REQUIRED IMPORTED_TARGET libsodium>=1.0.16)
# X11 window lookups of the shell (EWMH through xcb).
pkg_check_modules(XCB REQUIRED IMPORTED_TARGET xcb)

set_package_properties(Qt6 PROPERTIES TYPE REQUIRED PURPOSE "toolkit")
set_package_properties(pugixml PROPERTIES TYPE REQUIRED PURPOSE "profile and configuration XML")
set_package_properties(LibLZMA PROPERTIES TYPE REQUIRED PURPOSE "update package decompression")

if(VORN_BUILD_TESTS)
    find_package(Qt6 6.4 REQUIRED COMPONENTS Test)
    find_package(benchmark 1.5 REQUIRED)
    set_package_properties(benchmark PROPERTIES TYPE OPTIONAL PURPOSE "tests/bench")
endif()
