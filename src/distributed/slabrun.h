#pragma once

// ondix-run as one of several processes started by mpirun: the document's
// domain cut into slabs of rows, one per process, stepped together so that
// populations, statistics, stopping, outputs and the final document are
// bitwise those of one process. The first process drives the run (it tests
// the limits, writes the outputs and the final document, reports progress);
// the others step their slabs when it says so.
class SlabRun
{
public:
    // Whether this process was started by an MPI launcher as one of more
    // than one (the launcher's environment says so before MPI starts).
    static bool severalProcesses();
    // The program of every process of such a run; its exit code.
    static int main(int argc, char *argv[]);
};
