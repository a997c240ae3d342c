// Folder building: see folder_builder.h.

namespace sproutsmith::folders {}
