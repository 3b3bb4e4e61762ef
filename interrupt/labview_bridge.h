// The LabVIEW event bridge, as the rest of the library sees it.
#pragma once

namespace mfb {

// Back to the state at load: no runtime module set and PostLVUserEvent not bound.
void clear_labview_binding();

} // namespace mfb
