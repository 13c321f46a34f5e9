"""Uploads a file on a worker thread and shows its progress on the main thread.

    python3 progress_on_main_thread.py FILE [SERVER_NAME]

The shape a GUI needs: the main thread (the GUI's) never blocks on the
transfer; the progress callback, which runs on the library's transfer thread,
only puts each report into a queue, and the main thread takes them out and
draws. In Tk the loop below is a function that root.after(100, ...) calls
again; see docs/threads.md. Ctrl-C cancels the upload at its next report.

The server comes from QVN_HOST, QVN_PORT and QVN_FILE_PORT (default
127.0.0.1:7711, file port 7712), the credentials line from QVN_CREDENTIALS
("dbpassword@user@userpassword").
"""

import argparse
import os
import queue
import sys
import threading
from pathlib import Path
from typing import Optional, Union

import qvn

Message = Union[qvn.Progress, Optional[BaseException]]  # a report, then how the call ended


def upload(client: qvn.Client, credentials: str, local: Path, name: str,
           messages: "queue.Queue[Message]", cancel: threading.Event) -> None:
    """The worker thread: the blocking call; its end goes into the queue last."""

    def progress(report: qvn.Progress) -> Optional[str]:  # on the library's thread
        messages.put(report)
        return qvn.CANCEL if cancel.is_set() else None

    try:
        client.upload(credentials, local, name, progress)
        messages.put(None)
    except Exception as error:  # handed to the main thread, which reports it
        messages.put(error)


def main() -> int:
    # The usage comes before anything needs the library or a server.
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0],
                                     epilog=__doc__.split("\n\n", 2)[2],
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("file", type=Path, help="the local file to upload")
    parser.add_argument("server_name", nargs="?",
                        help='its name on the server (default: ..\\examples\\ and its own name)')
    args = parser.parse_args()
    name = args.server_name or qvn.server_name("examples/" + args.file.name)
    messages: "queue.Queue[Message]" = queue.Queue()
    cancel = threading.Event()
    worker = threading.Thread(target=upload, args=(qvn.Client(), os.environ.get(
        "QVN_CREDENTIALS", ""), args.file, name, messages, cancel))
    worker.start()
    while True:  # the main thread's loop: a GUI's event loop in a real program
        try:
            message = messages.get()
        except KeyboardInterrupt:
            cancel.set()  # the worker's next report answers qvn.CANCEL
            continue
        if isinstance(message, qvn.Progress):
            print(f"{message.server_file}: {message.count} of {message.size} bytes "
                  f"({message.percent:.0f}%)")
            continue
        worker.join()
        if message is not None:
            print(f"upload failed: {message}", file=sys.stderr)
            return 1
        print(f"{args.file} -> {name}: done")
        return 0


if __name__ == "__main__":
    sys.exit(main())
