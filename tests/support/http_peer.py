#!/usr/bin/env python3
"""A small HTTP peer for the exchange tests, on 127.0.0.1 only.

Prints its port on the first line of standard output and its process id on
the second, then serves every connection in its own thread: it reads one
request (headers and Content-Length body), appends its bytes to --log, and
answers by --mode:

  reply        the bytes of --reply as they are, then close (the default)
  never-close  the bytes of --reply, then keep the connection open
  stall        the first --cut bytes of --reply, then keep the connection open
  trickle      the bytes of --reply one at a time, --delay seconds apart
  close        nothing: close at once
  forward      run --command (a shell line) with the request body on stdin;
               answer "HTTP/1.0 200 Ok" with --content-type and its stdout

It ends by itself after --lifetime seconds, so a test that dies cannot leave
it behind; tests stop it by its process id.
"""
import argparse
import os
import socket
import subprocess
import sys
import threading
import time


def read_request(conn):
    """One request's bytes: the header block and as much body as it announces."""
    conn.settimeout(10)
    data = b""
    try:
        while b"\r\n\r\n" not in data:
            chunk = conn.recv(65536)
            if not chunk:
                return data
            data += chunk
        head, _, body = data.partition(b"\r\n\r\n")
        length = 0
        for line in head.split(b"\r\n")[1:]:
            name, _, value = line.partition(b":")
            if name.strip().lower() == b"content-length":
                try:
                    length = int(value.strip())
                except ValueError:
                    length = 0
        while len(body) < length:
            chunk = conn.recv(65536)
            if not chunk:
                break
            body += chunk
            data += chunk
    except OSError:
        pass
    return data


def hold_open(conn, seconds):
    """Keeps the connection open until the client closes it."""
    conn.settimeout(seconds)
    try:
        while conn.recv(4096):
            pass
    except OSError:
        pass


def serve(conn, args, lock):
    with conn:
        request = read_request(conn)
        if args.log:
            with lock, open(args.log, "ab") as log:
                log.write(request)
        reply = b""
        if args.reply:
            with open(args.reply, "rb") as f:
                reply = f.read()
        try:
            if args.mode == "reply":
                conn.sendall(reply)
            elif args.mode == "never-close":
                conn.sendall(reply)
                hold_open(conn, args.lifetime)
            elif args.mode == "stall":
                conn.sendall(reply[: args.cut])
                hold_open(conn, args.lifetime)
            elif args.mode == "trickle":
                for i in range(len(reply)):
                    conn.sendall(reply[i : i + 1])
                    time.sleep(args.delay)
            elif args.mode == "forward":
                body = request.partition(b"\r\n\r\n")[2]
                result = subprocess.run(args.command, shell=True, input=body, stdout=subprocess.PIPE,
                                        stderr=subprocess.DEVNULL, timeout=60)
                conn.sendall(b"HTTP/1.0 200 Ok\r\nContent-Type: " + args.content_type.encode() +
                             b"\r\nContent-Length: " + str(len(result.stdout)).encode() + b"\r\n\r\n" +
                             result.stdout)
        except (OSError, subprocess.SubprocessError):
            pass


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--mode", default="reply",
                        choices=["reply", "never-close", "stall", "trickle", "close", "forward"])
    parser.add_argument("--reply", help="file whose bytes are the reply")
    parser.add_argument("--log", help="file to which each request's bytes are appended")
    parser.add_argument("--cut", type=int, default=20, help="stall: bytes sent before stalling")
    parser.add_argument("--delay", type=float, default=0.05, help="trickle: seconds between bytes")
    parser.add_argument("--command", help="forward: shell line fed the request body")
    parser.add_argument("--content-type", default="application/octet-stream", help="forward: reply type")
    parser.add_argument("--lifetime", type=float, default=300, help="seconds before the peer ends itself")
    args = parser.parse_args()
    if args.mode == "forward" and not args.command:
        parser.error("forward needs --command")

    listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind(("127.0.0.1", 0))
    listener.listen(16)
    print(listener.getsockname()[1])
    print(os.getpid(), flush=True)

    deadline = time.monotonic() + args.lifetime
    lock = threading.Lock()
    while True:
        remaining = deadline - time.monotonic()
        if remaining <= 0:
            break
        listener.settimeout(remaining)
        try:
            conn, _ = listener.accept()
        except socket.timeout:
            break
        threading.Thread(target=serve, args=(conn, args, lock), daemon=True).start()
    listener.close()
    os._exit(0)  # daemon threads holding connections end with the process


if __name__ == "__main__":
    sys.exit(main())
