# The certificate authority that signed packages must lead to, embedded in the
# program as constant bytes. Development builds embed the development
# authority of tools/dev-ca; release builds name their own.
set(KORIN_AUTHORITY_CERT ${CMAKE_SOURCE_DIR}/tools/dev-ca/authority.der CACHE FILEPATH
    "DER certificate of the authority that signed packages must lead to")
set(KORIN_AUTHORITY_CPP ${CMAKE_BINARY_DIR}/generated/authority_certificate.cpp)
add_custom_command(
    OUTPUT ${KORIN_AUTHORITY_CPP}
    COMMAND ${CMAKE_COMMAND} -DCERT=${KORIN_AUTHORITY_CERT} -DCPP_OUT=${KORIN_AUTHORITY_CPP}
        -P ${CMAKE_SOURCE_DIR}/cmake/generate_authority_certificate.cmake
    DEPENDS ${KORIN_AUTHORITY_CERT} ${CMAKE_SOURCE_DIR}/cmake/generate_authority_certificate.cmake
    COMMENT "Embedding the authority certificate")
add_custom_target(korin_authority_certificate DEPENDS ${KORIN_AUTHORITY_CPP})
