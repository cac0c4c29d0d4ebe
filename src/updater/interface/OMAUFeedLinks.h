#pragma once
// Links in text from the feed (release notes, an item's description),
// which comes from the network: only http, https and mailto links open, in
// the user's browser or mail program (QDesktopServices); any other
// (file:, javascript:, a program's own scheme) is refused with a log line.
// Every window that shows such text hands its links here, and none lets a
// label or browser open them itself.
//
// Threads: main thread only.

class QLabel;
class QUrl;

// Opens `link` where its scheme allows; whether it did.
bool OMAUOpenFeedLink(const QUrl& link);

// Makes `label` hand the links it shows to OMAUOpenFeedLink instead of
// opening them itself.
void OMAURouteLabelLinks(QLabel* label);
