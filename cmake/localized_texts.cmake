# The localised texts live in one file, src/support/localized_texts.tsv. The
# build turns it into the Windows string table (.rc, with the manifest) and
# into the table of the stand-in machine.
set(KORIN_TEXTS_SOURCE ${CMAKE_SOURCE_DIR}/src/support/localized_texts.tsv)
set(KORIN_GENERATED_DIR ${CMAKE_BINARY_DIR}/generated)
set(KORIN_TEXTS_RC ${KORIN_GENERATED_DIR}/localized_texts.rc)
set(KORIN_TEXTS_CPP ${KORIN_GENERATED_DIR}/localized_texts_table.cpp)
add_custom_command(
    OUTPUT ${KORIN_TEXTS_RC} ${KORIN_TEXTS_CPP}
    COMMAND ${CMAKE_COMMAND}
        -DSOURCE=${KORIN_TEXTS_SOURCE}
        -DMANIFEST=${CMAKE_SOURCE_DIR}/src/support/korin_update_service.manifest
        -DRC_OUT=${KORIN_TEXTS_RC} -DCPP_OUT=${KORIN_TEXTS_CPP}
        -P ${CMAKE_SOURCE_DIR}/cmake/generate_localized_texts.cmake
    DEPENDS ${KORIN_TEXTS_SOURCE} ${CMAKE_SOURCE_DIR}/cmake/generate_localized_texts.cmake
        ${CMAKE_SOURCE_DIR}/src/support/korin_update_service.manifest
    COMMENT "Generating the localised string tables")
# Targets in other folders depend on this one to get the files generated.
add_custom_target(korin_localized_texts DEPENDS ${KORIN_TEXTS_RC} ${KORIN_TEXTS_CPP})
