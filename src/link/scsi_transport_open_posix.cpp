// Chooses the SCSI transport by the volume path's form.
#include "link/scsi_transport.h"
#include "link/scsi_transport_backends.h"

namespace zorbel {

std::unique_ptr<ScsiTransport> OpenScsiTransport(const std::string& path, uint32_t* error) {
  const std::string prefix = kScsiSocketPrefix;
  if (path.compare(0, prefix.size(), prefix) == 0) {
    return OpenSocketScsiTransport(path.substr(prefix.size()), error);
  }
  return OpenSgScsiTransport(path, error);
}

}  // namespace zorbel
