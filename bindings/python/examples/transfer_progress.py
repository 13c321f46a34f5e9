"""Uploads a file to a Quarven server and downloads it back, with progress bars.

    python3 transfer_progress.py FILE [SERVER_NAME]

The server comes from QVN_HOST, QVN_PORT and QVN_FILE_PORT (default
127.0.0.1:7711, file port 7712), the credentials line from QVN_CREDENTIALS
("dbpassword@user@userpassword"). The bars use tqdm when it is installed
(Debian: python3-tqdm), plain lines otherwise. Ctrl-C cancels the transfer.
"""

import argparse
import os
import sys
from pathlib import Path

import qvn

try:
    from tqdm import tqdm
except ImportError:
    tqdm = None


class Bar:
    """A progress callback: one bar per transfer."""

    def __init__(self, label: str) -> None:
        self.label = label
        self.bar = None

    def __call__(self, p: qvn.Progress) -> None:
        if tqdm is None:
            print(f"{self.label}: {p.count} of {p.size} bytes ({p.percent:.2f}%)")
            return
        if self.bar is None:
            self.bar = tqdm(total=p.size, desc=self.label, unit="B", unit_scale=True)
        self.bar.update(min(p.count, p.size) - self.bar.n)

    def close(self) -> None:
        if self.bar is not None:
            self.bar.close()


def main() -> int:
    # The usage comes before anything needs the library or a server.
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0],
                                     epilog=__doc__.split("\n\n", 2)[2],
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("file", type=Path, help="the local file to upload")
    parser.add_argument("server_name", nargs="?",
                        help='its name on the server (default: ..\\examples\\ and its own name)')
    args = parser.parse_args()
    local = args.file
    name = args.server_name or qvn.server_name("examples/" + local.name)
    credentials = os.environ.get("QVN_CREDENTIALS", "")
    client = qvn.Client()
    back = local.with_name(local.name + ".downloaded")
    for label, run in (("upload", lambda bar: client.upload(credentials, local, name, bar)),
                       ("download", lambda bar: client.download(credentials, name, back, bar))):
        bar = Bar(label)
        try:
            run(bar)
        except qvn.TransferFailed as failed:
            print(f"{label} failed: {failed}", file=sys.stderr)
            return 1
        finally:
            bar.close()
    same = back.read_bytes() == local.read_bytes()
    print(f"{back}: {'the same bytes as' if same else 'DIFFERS from'} {local}")
    return 0 if same else 1


if __name__ == "__main__":
    sys.exit(main())
