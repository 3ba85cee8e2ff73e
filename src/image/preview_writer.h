#pragma once

#include <string>

#include "image/conversion_settings.h"
#include "image/picture.h"
#include "shell/atomic_file.h"
#include "shell/shell.h"

namespace mosaikon {

// Writes the preview: the picture as an uncompressed 8-bit bitmap with its colours replaced as
// the settings say and left-out pixels in the backdrop grey. The picture model is not changed:
// the writer works on its own copy of the palette, and the grey gets an entry that no kept pixel
// uses. A failure is reported ("CreateBitmap has caused an error ...") and leaves any existing
// file at path as it was. Returns whether the file was written. With pending, the complete file
// waits there to be put in place together with others. A link at path is written through unless
// followLinks is false (the program's own private folder, where the link is replaced).
bool CreateBitmap(Shell& shell, const Picture& picture, const std::string& path,
                  const ConversionSettings& settings, PendingFiles* pending = nullptr,
                  bool followLinks = true);

}  // namespace mosaikon
