#ifndef SAVEPATH_H
#define SAVEPATH_H

#include <QString>

// File names for downloads come from the chart page, which the application
// does not control. This is the one place that turns such a name into a path,
// and it refuses every name that would put the file anywhere but inside the
// download directory.
namespace SavePath {

// The name used when the page gives none.
QString fallbackName();

// Characters that would make a name show as another in a prompt: line
// breaks and other control characters, and the marks, embeddings,
// overrides and isolates that turn the direction of text.
bool disguises(QChar c);
// The text with each of them written out as "[U+202E]", so that a prompt
// shows what the name really holds.
QString shown(const QString &text);

// `directory` (ending with "/") followed by `fileName`, or an empty string
// when the name is refused; `refusal` then receives a reason for the user.
// Names with subfolders ("a/b.txt") are accepted; absolute names, names with
// a ".." component, names with a hidden part (".bashrc", ".config/x") and
// names holding a character that disguises() are not.
QString resolve(const QString &directory, const QString &fileName, QString *refusal = nullptr);

// Why the file system would put `path` (as resolve() made it) anywhere but
// where it names, or an empty string: the name is a symbolic link (dangling
// or not), or a folder on the way is a link leading out of `directory`.
// Asked before the file is opened and again before it is put in place.
QString linkRefusal(const QString &directory, const QString &path);

} // namespace SavePath

#endif // SAVEPATH_H
