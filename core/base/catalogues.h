#ifndef ZR_CORE_BASE_CATALOGUES_H
#define ZR_CORE_BASE_CATALOGUES_H

#include <QString>

class QTranslator;

// Installs the tool's catalogue (toolFile, Qm/Chinese.qm under the working directory) and,
// beside it, the toolkit's own Chinese catalogue from toolkitDir, which translates the standard
// buttons of message boxes and dialogs. The toolkit's is only used with the tool's, and either
// may be missing: the tool then runs with what it found. Returns how many were installed.
int installCatalogues(QTranslator &tool, QTranslator &toolkit, const QString &toolFile,
                      const QString &toolkitDir);

#endif
