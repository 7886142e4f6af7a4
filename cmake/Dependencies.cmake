# Every external library, found once for the whole tree.
find_package(Qt6 6.4 REQUIRED COMPONENTS Core Gui Widgets Multimedia Svg Network DBus Test)
# The test library defines each test program's own folders, which no test
# reads (there is no test-data lookup); without them every test program can
# share one precompiled header.
set_property(TARGET Qt6::Test PROPERTY INTERFACE_COMPILE_DEFINITIONS QT_TESTLIB_LIB)
find_package(PkgConfig REQUIRED)
pkg_check_modules(FFMPEG REQUIRED IMPORTED_TARGET libavformat libavcodec libavutil libswresample libswscale)
pkg_check_modules(TAGLIB REQUIRED IMPORTED_TARGET taglib)
pkg_check_modules(PLIST REQUIRED IMPORTED_TARGET libplist-2.0)
# The desktop's file handlers, asked as `gio open` asks them.
pkg_check_modules(GIO REQUIRED IMPORTED_TARGET gio-2.0)
find_package(nlohmann_json 3 REQUIRED)
find_package(CURL REQUIRED)
find_package(OpenSSL 3 REQUIRED)
find_package(pugixml REQUIRED)
# Some of pugixml's CMake packages name the target without its namespace.
if(NOT TARGET pugixml::pugixml)
  add_library(pugixml::pugixml ALIAS pugixml)
endif()
find_package(Threads REQUIRED)
find_package(ZLIB REQUIRED)
find_package(ICU REQUIRED COMPONENTS uc i18n)
find_package(GTest REQUIRED)
# The GNU demangler's interface that writes through a callback and takes no
# heap memory, so crash-time code can name an exception's type.
find_path(LIBIBERTY_INCLUDE_DIR libiberty/demangle.h REQUIRED)
find_library(LIBIBERTY_LIBRARY iberty REQUIRED)
add_library(Libiberty::Libiberty STATIC IMPORTED)
set_target_properties(Libiberty::Libiberty PROPERTIES IMPORTED_LOCATION ${LIBIBERTY_LIBRARY}
                                                      INTERFACE_INCLUDE_DIRECTORIES ${LIBIBERTY_INCLUDE_DIR})
