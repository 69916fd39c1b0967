#pragma once

namespace korsa {

// Registers the embedded resources (:/JPEG/<n>.jpg, :/SOUND/<n>.wav, :/icon/korsa.png and the
// window's small icons :/icon/korsa-<16, 32, 64>.png).
// They live in a static library, so the linker would otherwise drop them; call this
// once before any of them is opened. Calling it again is harmless.
void InitResources();

} // namespace korsa
