class Walker {
  pos = 0;
  moves = 0;
  function move(d) { pos += d; moves++; return pos; }
  function bounce(d) {
    if (pos + d > 100 || pos + d < 0) return this.move(-d);
    return this.move(d);
  }
  function run(n) {
    local s = 0;
    for (local i = 0; i < n; i++) s = (s + this.bounce(i % 7 - 3)) & 0xFFFFF;
    return s + moves;
  }
}
return Walker().run(600000);
