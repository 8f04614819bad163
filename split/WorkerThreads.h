// The worker thread functions; each takes the StructWorkerContext.
#pragma once

void ScanWorkerThread(void *pContext);
void SplitWorkerThread(void *pContext);
