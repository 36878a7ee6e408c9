# cmake -DCERT=<der file> -DCPP_OUT=<cpp file> -P generate_authority_certificate.cmake
file(READ ${CERT} hex HEX)
string(LENGTH "${hex}" digits)
math(EXPR size "${digits} / 2")
if(size EQUAL 0)
    message(FATAL_ERROR "${CERT}: empty authority certificate")
endif()
if(NOT size EQUAL 999)
    message(WARNING "${CERT}: ${size} bytes; the authority certificate is expected to be 999")
endif()
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
string(REGEX REPLACE "((0x[0-9a-f][0-9a-f],){16})" "\\1\n    " bytes "${bytes}")
file(WRITE ${CPP_OUT}.tmp
"// Generated from ${CERT}; do not edit.
#include \"trust/package_trust.h\"

namespace korin {

const std::uint8_t kAuthorityCertificate[] = {
    ${bytes}
};
const std::uint32_t kAuthorityCertificateSize = ${size};

}  // namespace korin
")
file(COPY_FILE ${CPP_OUT}.tmp ${CPP_OUT} ONLY_IF_DIFFERENT)
file(REMOVE ${CPP_OUT}.tmp)
