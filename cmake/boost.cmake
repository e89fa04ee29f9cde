# Provides the target velmora_boost_serialization.
#
# Debian ships Boost.Serialization for Linux only. For MinGW the library's own
# sources (from Debian's boost1.74 source package, fetched by scripts/setup)
# are compiled here against the same version's headers, so both builds use
# one Boost and write identical archives. Elsewhere (native Linux, MSVC with an
# installed Boost) the installed library is used.

if(VELMORA_BOOST_SOURCES)
  set(_src ${VELMORA_BOOST_SOURCES}/libs/serialization/src)
  if(NOT EXISTS ${_src}/text_iarchive.cpp)
    message(FATAL_ERROR "No Boost.Serialization sources in ${_src}: run scripts/setup")
  endif()
  # Only what the text archives need.
  set(_units archive_exception basic_archive basic_iarchive basic_iserializer
      basic_oarchive basic_oserializer basic_pointer_iserializer
      basic_pointer_oserializer basic_serializer_map basic_text_iprimitive
      basic_text_oprimitive extended_type_info extended_type_info_typeid
      text_iarchive text_oarchive void_cast stl_port codecvt_null
      utf8_codecvt_facet)
  list(TRANSFORM _units PREPEND ${_src}/)
  list(TRANSFORM _units APPEND .cpp)
  # The headers: a folder holding only a link to the system's boost headers,
  # so /usr/include itself never reaches the cross compiler.
  set(_inc ${CMAKE_BINARY_DIR}/boost-headers)
  set(VELMORA_BOOST_HEADERS /usr/include/boost CACHE PATH "Boost headers of the same version as the sources")
  file(MAKE_DIRECTORY ${_inc})
  if(NOT EXISTS ${_inc}/boost)
    file(CREATE_LINK ${VELMORA_BOOST_HEADERS} ${_inc}/boost SYMBOLIC)
  endif()
  add_library(velmora_boost_serialization STATIC ${_units})
  target_include_directories(velmora_boost_serialization SYSTEM PUBLIC ${_inc})
  target_compile_definitions(velmora_boost_serialization PUBLIC BOOST_ALL_NO_LIB BOOST_SERIALIZATION_NO_LIB)
  target_compile_options(velmora_boost_serialization PRIVATE -w)
else()
  find_package(Boost 1.74 REQUIRED COMPONENTS serialization)
  add_library(velmora_boost_serialization INTERFACE)
  target_link_libraries(velmora_boost_serialization INTERFACE Boost::serialization)
endif()
