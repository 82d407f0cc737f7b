// text_layers_pending.cpp - stands in for the text layers module, which is not built yet: a text
// layer of a project can't be rebuilt, so the project loader leaves such layers out (their slot
// stays free). Remove this file when the text layers module provides CreateStringFromProject.

// Rebuilds a text layer from the record in slot; nothing yet (text layers are not built yet).
void CreateStringFromProject(int) {}
