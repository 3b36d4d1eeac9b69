#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""A second RFC 2217 server for the tests: python3-serial's PortManager in
front of a serial device (the simulator's pseudo-terminal).

usage: rfc2217_server.py DEVICE TCPPORT

Listens on 127.0.0.1:TCPPORT, serves one client at a time and waits for the
next when it goes. Prints "ready" once it listens.
"""

import socket
import sys
import threading

import serial
import serial.rfc2217


class PtySerial(serial.Serial):
    """A pseudo-terminal has no modem lines: their calls do nothing."""

    def _update_rts_state(self):
        pass

    def _update_dtr_state(self):
        pass

    def _update_break_state(self):
        pass

    @property
    def cts(self):
        return False

    @property
    def dsr(self):
        return False

    @property
    def ri(self):
        return False

    @property
    def cd(self):
        return False


class Redirector:
    def __init__(self, port, sock):
        self.serial = port
        self.socket = sock
        self.lock = threading.Lock()
        self.alive = True
        self.manager = serial.rfc2217.PortManager(self.serial, self)

    def write(self, data):
        with self.lock:
            self.socket.sendall(data)

    def reader(self):
        while self.alive:
            try:
                data = self.serial.read(self.serial.in_waiting or 1)
                if data:
                    self.write(b"".join(self.manager.escape(data)))
            except (OSError, serial.SerialException):
                break
        self.alive = False

    def run(self):
        t = threading.Thread(target=self.reader, daemon=True)
        t.start()
        try:
            while True:
                data = self.socket.recv(1024)
                if not data:
                    break
                self.serial.write(b"".join(self.manager.filter(data)))
        except OSError:
            pass
        self.alive = False
        t.join()


def main():
    device, tcp_port = sys.argv[1], int(sys.argv[2])
    port = PtySerial(device, 9600, timeout=0.05)
    listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind(("127.0.0.1", tcp_port))
    listener.listen(1)
    print("ready", flush=True)
    while True:
        client, _ = listener.accept()
        client.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        try:
            Redirector(port, client).run()
        except OSError:
            pass  # the client went away while the server spoke
        finally:
            client.close()
            port.reset_input_buffer()


if __name__ == "__main__":
    main()
