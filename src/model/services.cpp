#include "model/services.h"

namespace model {

ModelServices& modelServices() {
  static ModelServices services;
  return services;
}

} // namespace model
