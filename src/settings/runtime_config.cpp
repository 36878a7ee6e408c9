#include "settings/runtime_config.h"

namespace korin {

RuntimeConfig& runtimeConfig() {
    static RuntimeConfig config;
    return config;
}

}  // namespace korin
