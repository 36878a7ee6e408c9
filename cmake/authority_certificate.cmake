# The certificate authority that signed packages must lead to, embedded in the
# program as constant bytes. Development builds embed the development
# authority of tools/dev-ca, whose private key is public, and say so; a
# release build (KORIN_RELEASE, the `release` preset) must name its own.
option(KORIN_RELEASE "Configure the released product: KORIN_AUTHORITY_CERT is required" OFF)
set(KORIN_DEV_AUTHORITY_CERT ${CMAKE_SOURCE_DIR}/tools/dev-ca/authority.der)
if(KORIN_RELEASE AND NOT KORIN_AUTHORITY_CERT)
    message(FATAL_ERROR "A release build embeds the release authority: configure it with "
        "-DKORIN_AUTHORITY_CERT=/path/to/release-authority.der")
endif()
set(KORIN_AUTHORITY_CERT ${KORIN_DEV_AUTHORITY_CERT} CACHE FILEPATH
    "DER certificate of the authority that signed packages must lead to")
if(NOT EXISTS ${KORIN_AUTHORITY_CERT})
    message(FATAL_ERROR "KORIN_AUTHORITY_CERT: ${KORIN_AUTHORITY_CERT} does not exist")
endif()
# Compared by content, so that a copy of the development authority is caught too.
file(SHA256 ${KORIN_AUTHORITY_CERT} authority_digest)
file(SHA256 ${KORIN_DEV_AUTHORITY_CERT} dev_authority_digest)
if(authority_digest STREQUAL dev_authority_digest)
    set(KORIN_EMBEDS_DEV_AUTHORITY ON)
    if(KORIN_RELEASE)
        message(FATAL_ERROR "KORIN_AUTHORITY_CERT is the development authority, whose private "
            "key is public; a release build embeds the release authority")
    endif()
    message(WARNING "This build embeds the DEVELOPMENT certificate authority (tools/dev-ca): "
        "its private key is public, so packages it accepts prove nothing. Never ship it; name "
        "the release authority with -DKORIN_AUTHORITY_CERT.")
    set(KORIN_VERSION_FILE_FLAGS VS_FF_SPECIALBUILD)
    set(KORIN_VERSION_SPECIAL_BUILD "            VALUE \"SpecialBuild\", \"Embeds the development certificate authority, whose private key is public: not for release\"")
else()
    set(KORIN_EMBEDS_DEV_AUTHORITY OFF)
    set(KORIN_VERSION_FILE_FLAGS 0)
    set(KORIN_VERSION_SPECIAL_BUILD "")
endif()

set(KORIN_AUTHORITY_CPP ${CMAKE_BINARY_DIR}/generated/authority_certificate.cpp)
add_custom_command(
    OUTPUT ${KORIN_AUTHORITY_CPP}
    COMMAND ${CMAKE_COMMAND} -DCERT=${KORIN_AUTHORITY_CERT} -DCPP_OUT=${KORIN_AUTHORITY_CPP}
        -P ${CMAKE_SOURCE_DIR}/cmake/generate_authority_certificate.cmake
    DEPENDS ${KORIN_AUTHORITY_CERT} ${CMAKE_SOURCE_DIR}/cmake/generate_authority_certificate.cmake
    COMMENT "Embedding the authority certificate")
add_custom_target(korin_authority_certificate DEPENDS ${KORIN_AUTHORITY_CPP})

# The exe's version resource says which kind of authority it embeds.
set(KORIN_VERSION_RC ${CMAKE_BINARY_DIR}/generated/korin_update_service_version.rc)
configure_file(${CMAKE_SOURCE_DIR}/src/support/korin_update_service_version.rc.in
    ${KORIN_VERSION_RC} @ONLY)
