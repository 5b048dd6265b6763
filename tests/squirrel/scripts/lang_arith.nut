// arithmetic
print((7 / 2) + " " + (-7 / 2) + " " + (-7 % 2) + " " + (7 % -2) + "\n");
print((2147483647 + 1) + " " + (-2147483647 - 2) + "\n");
print((0x7FFFFFFF * 2) + "\n");
print((1 << 31) + " " + (-8 >> 1) + " " + (-8 >>> 28) + " " + (1 << 33) + "\n");
print((5 & 3) + " " + (5 | 3) + " " + (5 ^ 3) + " " + (~5) + "\n");
print((3 / 2.0) + " " + (1 + 0.5) + " " + (16777217.0 == 16777216) + "\n");
print(0xFF + " " + 0777 + " " + 'a' + " " + 08 + "\n");
print(1.e2 + " " + 2.5e-3 + " " + 1.0e20 + " " + 1234567.0 + " " + (-0.0) + "\n");
print((1 == 1.0) + " " + (0 == false) + " " + (null == false) + " " + ("1" == 1) + "\n");
print((2 < 3) + " " + (3 <= 3) + " " + ("a" < "b") + " " + (null < 1) + "\n");
try { print(1/0); } catch(e) { print(e + "\n"); }
try { print(1%0); } catch(e) { print(e + "\n"); }
try { print(null + 1); } catch(e) { print(e + "\n"); }
try { print(1 < "a"); } catch(e) { print(e + "\n"); }
try { print(1.5 | 1); } catch(e) { print(e + "\n"); }
try { print(-{}) } catch(e) { print(e + "\n"); }
try { print(~1.0) } catch(e) { print(e + "\n"); }
print(("a" + null) + "\n");
print("x" + 1 + 2 + "\n");
print(1 + 2 + "x" + "\n");
local s = "abc"; s++; print(s + "\n"); s--; print(s + "\n");
local i = 5; print(i++ + " " + i + " " + ++i + " " + i-- + " " + --i + "\n");
local f = 1.5; f++; print(f + "\n");
print((1.0/0) + " " + (-1.0/0) + "\n");
print(!0 + " " + !1 + " " + !"" + " " + !null + "\n");
print((0 || "d") + " " + (1 && 2) + " " + (null && 1) + "\n");
local x = 10; x += 5; x -= 3; x *= 2; x /= 4; x %= 4; print(x + "\n");
print(-2147483648 / -1 + " " + (-2147483648 % -1) + "\n");
print(typeof 1 + typeof 1.5 + typeof true + typeof "s" + typeof {} + typeof [] + typeof print + typeof function(){} + "\n");
print((1 > 2 ? "a" : "b") + "\n");
print(2147483647 > -2);
print("\n");
