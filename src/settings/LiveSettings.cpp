#include "settings/LiveSettings.h"

namespace qv {

LiveSettings gSettings;

}  // namespace qv
