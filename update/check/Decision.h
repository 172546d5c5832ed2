// What the update check does once a manifest has been read.
#pragma once

enum class UpdateAction { CloseWindow, ShowNoUpdate, ShowNewVersion, StartDownload };

// nCompare: CompareVersion of the manifest version; bTestUpdate counts any
// manifest as newer; only a force value of exactly 1 downloads unasked.
UpdateAction DecideUpdate(int nCompare, bool bTestUpdate, int nForce, bool bPrompt);

// Whether the test switch makes a manifest count as newer: always in a build
// without a key. With the publisher's key (bKeyed) never for an older
// version, or anyone who controls a shortcut could replay an old signed
// manifest and get a downgrade; the same version is allowed, which is what
// testing an installer needs.
bool TestSwitchCounts(bool bTestUpdate, int nCompare, bool bKeyed);
