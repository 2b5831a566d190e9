#include "common/linewriter.h"

#include "platform/files.h"

bool CLineWriter::Commit() {
    return Platform::SaveFileAtomic(m_path, Platform::EncodeLines(m_lines));
}
