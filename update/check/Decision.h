// What the update check does once a manifest has been read.
#pragma once

enum class UpdateAction { CloseWindow, ShowNoUpdate, ShowNewVersion, StartDownload };

// nCompare: CompareVersion of the manifest version; bTestUpdate counts any
// manifest as newer; only a force value of exactly 1 downloads unasked.
UpdateAction DecideUpdate(int nCompare, bool bTestUpdate, int nForce, bool bPrompt);
