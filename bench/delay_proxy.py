"""A loopback TCP proxy that makes a local server look remote: every byte is
held back half the added round-trip time in each direction, so each round
trip takes DELAY longer while the bandwidth stays unlimited (pipelined
commands keep their advantage, as on a real line).

    delay_proxy.py DELAY_MS TARGET_PORT...   prints one listening port per
                                             target on one line, then serves
"""

import asyncio
import signal
import socket
import sys
import time

CHUNK = 256 * 1024


async def _pump(reader, writer, one_way, counted=None, slot=0):
    """Copies reader to writer; each chunk leaves `one_way` seconds after it
    arrived, in order. Bytes are counted as they arrive, so whatever the
    client has received is in `counted[slot]`."""
    queue = asyncio.Queue()

    async def receive():
        while True:
            data = await reader.read(CHUNK)
            if counted is not None:
                counted[slot] += len(data)
            queue.put_nowait((time.monotonic() + one_way, data))
            if not data:
                return

    async def send():
        while True:
            due, data = await queue.get()
            wait = due - time.monotonic()
            if wait > 0:
                await asyncio.sleep(wait)
            if not data:
                break
            writer.write(data)
            await writer.drain()
        try:
            writer.write_eof()
        except OSError:
            pass

    receiving = asyncio.ensure_future(receive())
    try:
        await send()
    except (ConnectionError, OSError):
        pass
    finally:
        receiving.cancel()


async def _serve_one(client_reader, client_writer, target_port, one_way, counted, slot):
    try:
        server_reader, server_writer = await asyncio.open_connection("127.0.0.1", target_port)
    except OSError:
        client_writer.close()
        return
    for w in (client_writer, server_writer):
        w.get_extra_info("socket").setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
    await asyncio.gather(_pump(client_reader, server_writer, one_way),
                         _pump(server_reader, client_writer, one_way, counted, slot),
                         return_exceptions=True)
    for w in (client_writer, server_writer):
        w.close()


async def _main(delay_ms, targets):
    one_way = delay_ms / 2000.0
    servers = []
    counted = [0] * len(targets)
    for slot, port in enumerate(targets):
        server = await asyncio.start_server(
            lambda r, w, p=port, n=slot: _serve_one(r, w, p, one_way, counted, n), "127.0.0.1", 0)
        servers.append(server)
    asyncio.get_running_loop().add_signal_handler(
        signal.SIGUSR1, lambda: print(" ".join(str(c) for c in counted), flush=True))
    print(" ".join(str(s.sockets[0].getsockname()[1]) for s in servers), flush=True)
    await asyncio.gather(*(s.serve_forever() for s in servers))


if __name__ == "__main__":
    if len(sys.argv) < 3:
        sys.exit(__doc__)
    try:
        asyncio.run(_main(float(sys.argv[1]), [int(p) for p in sys.argv[2:]]))
    except KeyboardInterrupt:
        pass
