#pragma once
// The file a recording goes to. An empty CaptureFile (the default) must not make the first
// recording fail: it records to a new file in the user's videos folder (the home folder when
// there is none) named after the moment the run starts. The stored setting stays empty.

#include <QDateTime>
#include <string>

// `stored` unchanged when it is not empty; otherwise
// "<videos folder>/Kestrova yyyy-MM-dd hh-mm-ss.ogg", with " (2)", " (3)" ... added when a
// file of that name exists already.
std::string RecordingFilePath(const std::string& stored, const QDateTime& start);

// The folder a recording without a stored file goes to; created when missing.
std::string DefaultRecordingFolder();
