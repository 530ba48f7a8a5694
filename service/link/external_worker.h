// The external command thread (worker slot 4): serves the external frames
// of the tray program and the external module on the one service port that
// takes datagrams from any local program.
#pragma once

namespace zep {

struct ServiceContext;
struct UdpEndpoint;
struct WorkerSlot;

/// Receives frames on `endpoint` without a time limit and handles each
/// (external_frames.h): the answer goes back to the sender on the same
/// socket, a made UPS command goes to the monitor slot's port in
/// `context`, and the console line to the context's console (console mode
/// only). Malformed frames are
/// dropped and the loop goes on. Returns the receive result that ended it:
/// -1 for the stop signal, another negative value for a socket error.
int ServeExternalFrames(UdpEndpoint* endpoint, const ServiceContext& context);

/// The slot 4 procedure: ServeExternalFrames on the slot's endpoint.
void ExternalWorker(WorkerSlot* slot);

}  // namespace zep
