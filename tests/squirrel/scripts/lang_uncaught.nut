// An uncaught error reaches the default handler before the stack unwinds: the report shows
// the failing frames with their locals.
function inner(count, flag) {
    local text = "abc";
    local ratio = 0.5;
    return count + {};
}
function outer() {
    local list = [1, 2];
    local r = inner(3, true);
    return r;
}
print("start\n");
outer();
print("not reached\n");
