#pragma once
// Registers the compiled-in icons. The resources live in a static library,
// whose registration object the linker would otherwise leave out.
void InitUiResources();
