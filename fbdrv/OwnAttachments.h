// The attachments this driver opened itself and still holds, process-wide.
// One of them handed to another connection (coAttachment) is no caller's:
// no statement of a caller's transaction can hold a lock on it that the
// module's own statements would wait for, so the adopted-attachment bound on
// lock waits does not apply to it.
#pragma once

namespace tolvane::fbdrv {

void RememberOwnAttachment(const void* attachment);
void ForgetOwnAttachment(const void* attachment);
bool IsOwnAttachment(const void* attachment);

}  // namespace tolvane::fbdrv
