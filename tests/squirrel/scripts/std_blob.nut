// Blob library: number round trips through writen/readn, seeking, readblob/writeblob, indexing,
// iteration, resize, byte swapping, cloning and the global casts.
function show(x) { print("" + x + "\n"); }
function attempt(f) {
    try { return f(); } catch (e) { return "error: " + e; }
}

local b = blob();
show(typeof b + " " + b.len() + " " + (b.eos() != null));
b.writen(1, 'i');
b.writen(-2, 's');
b.writen(255, 'b');
b.writen(1.5, 'f');
b.writen(2.25, 'd');
b.writen(-1, 'c');
b.writen(65535, 'w');
b.writen(-7, 'l');
show(b.len() + " " + b.tell() + " " + b.eos());
show(b.seek(0) + " " + (b.eos() == null));
local values = "";
foreach (code in ['i', 's', 'b', 'f', 'd', 'c', 'w', 'l']) values += b.readn(code) + " ";
show(values);
show(b.seek(-4, 'e') + " " + b.tell());
show(b.seek(100) + " " + b.tell());
show(b.seek(1, 'c') + " " + b.tell());
show(attempt(function() : (b) { return b.seek(0, 'x'); }));
show(attempt(function() : (b) { return b.readn('z'); }));
show(attempt(function() : (b) { b.seek(0, 'e'); return b.readn('i'); }));
show(attempt(function() : (b) { return b.writen(1, 'q'); }));

b.seek(0);
local head = b.readblob(4);
show(typeof head + " " + head.len() + " " + head[0] + " " + head[1]);
local rest = b.readblob(100);
show(rest.len() + " " + b.eos());
show(attempt(function() : (b) { return b.readblob(4); }));
local copy = blob();
show(copy.writeblob(head) + " " + copy.len());

local bytes = blob(3);
bytes[0] = 1;
bytes[1] = 2;
bytes[2] = 300;
local walked = "";
foreach (i, x in bytes) walked += i + "=" + x + " ";
show(walked);
show((bytes[2] = 513) + " " + bytes[2]);

local sized = blob(2);
sized.resize(8);
show(sized.len());
sized.resize(1);
show(sized.len());
show(attempt(function() { return blob(-1); }));

local g = blob();
g.writen(0x01020304, 'i');
g.swap4();
g.seek(0);
show(format("%08x", g.readn('i')));
g.swap2();
g.seek(0);
show(format("%08x", g.readn('i')));

local twin = clone bytes;
twin[0] = 9;
show(bytes[0] + " " + twin[0] + " " + twin.len());

show(format("%x %x", swap4(0x11223344), swap2(0x1234)));
show(swap2(0x8000) < 0);
show(castf2i(1.0) + " " + casti2f(1065353216) + " " + typeof casti2f(0));
show(swapfloat(swapfloat(2.5)) + " " + format("%x", castf2i(swapfloat(1.0))));

// running a constructor again replaces the contents; on a foreign instance it is refused
local again = blob(2);
again.constructor(5);
show(again.len());
class Holder { f = null; }
local holder = Holder();
holder.f = blob.constructor;
show(attempt(function() : (holder) { return holder.f(3); }));
local re = regexp("a");
re.constructor("b+");
show(re.search("abb").begin);

// a blob written into itself appends (or overwrites with) a copy of its own bytes
local self = blob();
self.writen(1, 'b'); self.writen(2, 'b');
show(self.writeblob(self) + " " + self.len());
self.seek(1);
self.writeblob(self);
local bytes = "";
foreach (x in self) bytes += x;
show(bytes + " " + self.len());
