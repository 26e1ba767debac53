// Finding the print servers on the local network: one broadcast probe, the
// answers collected two seconds at a time, and one probe to the default
// gateway when the broadcast finds nobody.
#pragma once
#include "link/worker_host.h"

#include <netinet/in.h>

// Runs on the worker thread. Every answer's sender lands in *source (a local
// record is used when it is null). The first answer closes the notice and asks
// the main window for the server list; each answer is then posted to that list
// as WM_ADD_SERVER carrying its own copy of the dotted-decimal text.
// Returns the number of answers, never negative; 0 when nobody answered or the
// search could not start.
int DiscoverServers(WorkerHost &host, sockaddr_in *source, const LinkEndpoints &ep);
